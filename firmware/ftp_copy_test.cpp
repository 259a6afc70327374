#include "firmware/ftp_copy.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "platform/child_process.h"
#include "platform/format.h"
#include "platform/poll_pump.h"
#include "platform/result_codes.h"
#include "platform/text.h"
#include "tests/support/firmware_files.h"
#include "tests/support/temp_folder.h"

namespace rm7 {
namespace {

using test::CTempFolder;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

FolderContents LocalWith(std::uint16_t mcu, std::uint16_t dsp, bool notes) {
    FolderContents c;
    c.files[kKindMcu] = {mcu != 0 ? "fmcu.hex" : "", mcu};
    c.files[kKindDsp] = {dsp != 0 ? "fdsp.hex" : "", dsp};
    c.releaseNotes = notes;
    return c;
}

TEST(FtpCopySelection, TakesWhatIsNewerByTheFolderScansRule) {
    struct Case {
        std::vector<std::string> remote;
        FolderContents local;
        std::vector<std::string> copy;
    };
    const Case cases[] = {
        {{"fmcu0254.hex", "fdsp0121.hex", "ffwnotes.rtf"}, LocalWith(254, 121, true), {}},
        // The release notes alone are not worth a copy, whether or not the folder has them.
        {{"fmcu0250.hex", "FFWNOTES.RTF"}, LocalWith(254, 0, false), {}},
        {{"ffwnotes.rtf"}, LocalWith(254, 121, true), {}},
        {{"fmcu0260.hex", "ffwnotes.rtf"}, LocalWith(254, 0, true), {"fmcu0260.hex", "ffwnotes.rtf"}},
        // Of several of one kind, each is taken only if newer than everything before it.
        {{"fmcu0255.hex", "fmcu0250.hex", "FMCU0260.HEX", "fmcu0258.hex"},
         LocalWith(254, 0, false),
         {"fmcu0255.hex", "FMCU0260.HEX"}},
        // Not firmware, no version, the wrong extension: never copied.
        {{"readme.txt", "fmcu.hex", "fdsp0300.bin", "fdsp0300.hex"}, LocalWith(0, 121, false), {"fdsp0300.hex"}},
    };
    for (const Case& c : cases) {
        EXPECT_THAT(SelectNewerFiles(c.remote, c.local).copy, ElementsAreArray(c.copy))
            << ::testing::PrintToString(c.remote);
    }
}

TEST(FtpCopyWindow, ClosesItselfOnCancelAndAfterAGoodRunUnlessTracing) {
    struct Case {
        int result;
        bool trace;
        bool closes;
    };
    for (const Case& c : {Case{kFtpResultDone, false, true}, Case{kFtpResultDone, true, false},
                          Case{kFtpResultCancelled, true, false}, Case{kFtpResultFailed, false, false}}) {
        EXPECT_EQ(FtpWindowClosesItself(c.result, c.trace), c.closes) << c.result << " " << c.trace;
    }
}

TEST(FtpCopyNames, ServerNamesThatCouldLeaveTheFolderAreRefused) {
    for (const char* bad : {"../fmcu0300.hex", "..", ".hidden", "/etc/passwd", "sub/fmcu0300.hex", "..\\x.hex",
                            "fmcu0300.hex\x07", "a\nb", "c:fmcu.hex", ""}) {
        EXPECT_NE(RefusedRemoteName(bad), nullptr) << bad;
    }
    for (const char* good : {"fmcu0300.hex", "ffwnotes.rtf", "FDSP0121.HEX", "a..b.hex"}) {
        EXPECT_EQ(RefusedRemoteName(good), nullptr) << good;
    }
    EXPECT_EQ(FirmwareDirectoryUrl("ftp://ftp.example.com"), "ftp://ftp.example.com/RM7/firmware/");
    EXPECT_EQ(FirmwareDirectoryUrl("ftps://h/base/"), "ftps://h/base/RM7/firmware/");
    EXPECT_EQ(FirmwareDirectoryUrl("file:///media/usb"), "file:///media/usb/RM7/firmware/");
    {
        // A folder that holds the files itself is the mirror; one with the server's layout is not.
        const test::CTempFolder mirror;
        const std::string url = "file://" + mirror.Path().string();
        EXPECT_EQ(FirmwareDirectoryUrl(url), url + "/");
        std::filesystem::create_directories(mirror.Path() / "RM7" / "firmware");
        EXPECT_EQ(FirmwareDirectoryUrl(url + "/"), url + "/RM7/firmware/");
    }
    for (const char* refused : {"http://h", "sftp://h", "file://host/x", "ftp://", "ftp:///x", "/media/usb"}) {
        EXPECT_EQ(FirmwareDirectoryUrl(refused), "") << refused;
    }
}

// One run of the job to its end on a real pump.
struct RunResult {
    int result = 0;
    Result code = 0;
    std::vector<std::string> lines;
    bool Logged(const std::string& part) const {
        for (const std::string& l : lines) {
            if (l.find(part) != std::string::npos) {
                return true;
            }
        }
        return false;
    }
};

RunResult RunCopy(const std::filesystem::path& folder, const std::string& server, bool cancelOnProgress = false,
                  const FtpCopyLimits& limits = {}) {
    CPollPump pump;
    RunResult out;
    std::optional<int> done;
    auto job = std::make_unique<CFtpCopyJob>(
        pump, folder, ScanFolder(folder), server, [&](const std::string& line) { out.lines.push_back(line); },
        [&](int result) { done = result; });
    job->SetLimits(limits);
    job->SetProgressHandler([&](const std::string&, std::uint64_t) {
        if (cancelOnProgress) {
            job->Cancel();
        }
    });
    job->Start();
    EXPECT_TRUE(pump.RunUntil([&] { return done.has_value(); }, 60000)) << "the copy did not end";
    out.code = job->Code();
    job.reset();  // waits for a worker still under way
    out.result = done.value_or(-1);
    return out;
}

std::vector<std::string> FolderNames(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder)) {
        names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string Text(const std::filesystem::path& file) {
    const std::vector<std::uint8_t> bytes = test::ReadFile(file);
    return {bytes.begin(), bytes.end()};
}

void WriteMcuHex(const std::filesystem::path& file, std::uint32_t seed, const char* version) {
    test::WriteHexFile(file, test::McuImageBytes(seed, version), 0x800);
}

// A mirror's folder ("RM7/firmware" below the server's root) and the local firmware folder.
class FtpCopyRun : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override {
        remote = root / "RM7" / "firmware";
        std::filesystem::create_directories(remote);
        std::filesystem::create_directories(local);
        WriteMcuHex(local / "fmcu0254.hex", 1, "2.54");
        test::WriteFile(remote / "fmcu0254.hex", "same version: never fetched");
        test::WriteFile(remote / "fmcu0250.hex", "older: never fetched");
    }
    ~FtpCopyRun() override { server.Stop(); }

    // The same tree through the loopback FTP server or as a local mirror.
    std::string Server(bool slow = false) {
        if (!GetParam()) {
            return "file://" + root.string();
        }
        std::vector<std::string> args = {RM7_FTP_SCRIPTS "/loopback_ftpd.py", root.string()};
        if (slow) {
            args.push_back("slow");
        }
        std::string port;
        EXPECT_EQ(server.Start("/usr/bin/python3", args), 0u);
        EXPECT_TRUE(server.ReadFirstLine(port, 10000));
        return "ftp://127.0.0.1:" + port;
    }

    CTempFolder temp;
    std::filesystem::path root = temp / "server";
    std::filesystem::path local = temp / "local";
    std::filesystem::path remote;
    CChildProcess server;
};

TEST_P(FtpCopyRun, NothingNewerCopiesNothingAndEndsWithoutError) {
    test::WriteFile(remote / "ffwnotes.rtf", "{\\rtf1 notes}");  // only the notes are "newer"
    const RunResult r = RunCopy(local, Server());
    EXPECT_EQ(r.result, kFtpResultDone);
    EXPECT_FALSE(r.Logged("Copying files")) << ::testing::PrintToString(r.lines);
    EXPECT_THAT(FolderNames(local), ElementsAre("fmcu0254.hex"));
}

TEST_P(FtpCopyRun, NewerMcuAndNotesAreCopiedAndChecked) {
    WriteMcuHex(remote / "fmcu0260.hex", 2, "2.60");
    test::WriteFile(remote / "ffwnotes.rtf", "{\\rtf1 notes}");
    const RunResult r = RunCopy(local, Server());
    EXPECT_EQ(r.result, kFtpResultDone);
    EXPECT_THAT(r.lines, Contains("File verified fmcu0260.hex"));
    EXPECT_THAT(r.lines, Contains("Copied fmcu0260.hex from Tarnwell"));
    EXPECT_THAT(r.lines, Contains("Copied 2 files from Tarnwell to " + local.string()));
    EXPECT_THAT(FolderNames(local), ElementsAre("ffwnotes.rtf", "fmcu0254.hex", "fmcu0260.hex"));
    EXPECT_EQ(test::ReadFile(local / "fmcu0260.hex"), test::ReadFile(remote / "fmcu0260.hex"));
    EXPECT_EQ(ScanFolder(local).Mcu().version, 260);
}

TEST_P(FtpCopyRun, DamagedNewerHexIsReportedAndTheOlderGoodFileStaysInUse) {
    // Cut in the middle of a record.
    WriteMcuHex(temp / "whole.hex", 3, "2.70");
    const std::string whole = Text(temp / "whole.hex");
    const std::string cut = whole.substr(0, whole.size() / 2 - whole.size() / 2 % 45);
    // Whole and well formed, but its reconciliation value does not match its image: the loader
    // would refuse it, so the copy does too.
    std::vector<std::uint8_t> image = test::Reconciled(test::McuImageBytes(4, "2.70"));
    image[200] ^= 1;
    test::WriteHexFile(temp / "unreconciled.hex", image, 0x800);
    struct Case {
        std::string content;
        std::string reason;
        Result code;
    };
    const Case cases[] = {
        {cut, "Unexpected hex character", kErrUnexpectedHexCharacter},
        {Text(temp / "unreconciled.hex"), "Input hex file is corrupt, check sum is not zero", kErrHexImageChecksum},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason);
        test::WriteFile(remote / "fmcu0270.hex", c.content);
        std::filesystem::remove(local / "fmcu0270.hex.rejected");
        const RunResult r = RunCopy(local, Server());
        server.Stop();
        // A refused file makes a failed run: the window keeps its lines on the screen.
        EXPECT_EQ(r.result, kFtpResultFailed);
        EXPECT_THAT(r.lines, Contains("File fmcu0270.hex verify failed"));
        EXPECT_TRUE(r.Logged("Unable to copy file fmcu0270.hex: Line ")) << ::testing::PrintToString(r.lines);
        EXPECT_TRUE(r.Logged(StrFormat("error code 0x%08X: %s", c.code, c.reason.c_str())))
            << ::testing::PrintToString(r.lines);
        EXPECT_THAT(r.lines, Contains("Copied 0 files from Tarnwell to " + local.string()));
        EXPECT_THAT(r.lines, Contains("Refused 1 of 1 files"));
        EXPECT_TRUE(r.Logged(StrFormat("All Copy Complete completed with error 0x%08X", c.code)))
            << ::testing::PrintToString(r.lines);
        EXPECT_EQ(ScanFolder(local).Mcu().version, 254);
        EXPECT_THAT(FolderNames(local), ElementsAre("fmcu0254.hex", "fmcu0270.hex.rejected"));
        EXPECT_EQ(Text(local / "fmcu0270.hex.rejected"), c.content);
    }
}

TEST_P(FtpCopyRun, NotesTheReaderRefusesAreSetAsideAndTheOldNotesStay) {
    WriteMcuHex(remote / "fmcu0260.hex", 2, "2.60");
    test::WriteFile(remote / "ffwnotes.rtf", std::string("\x7F"
                                                         "ELF\x02\x01\x01\0binary",
                                                         14));
    test::WriteFile(local / "ffwnotes.rtf", "{\\rtf1 the good notes}");
    const RunResult r = RunCopy(local, Server());
    EXPECT_EQ(r.result, kFtpResultFailed);
    EXPECT_THAT(r.lines, Contains("Unable to copy file ffwnotes.rtf: The file is not rich text (RTF)"));
    EXPECT_THAT(r.lines, Contains("Copied 1 files from Tarnwell to " + local.string()));
    EXPECT_THAT(FolderNames(local),
                ElementsAre("ffwnotes.rtf", "ffwnotes.rtf.rejected", "fmcu0254.hex", "fmcu0260.hex"));
    EXPECT_EQ(Text(local / "ffwnotes.rtf"), "{\\rtf1 the good notes}");
}

// Links planted in the folder under the names a download could use: nothing outside the folder
// changes, and each link under a final or set-aside name is replaced by a file of the copy's own.
TEST_P(FtpCopyRun, LinksInTheFolderAreReplacedNeverWrittenThrough) {
    WriteMcuHex(remote / "fmcu0260.hex", 2, "2.60");
    test::WriteFile(remote / "ffwnotes.rtf", "not rich text");
    const std::filesystem::path outside = temp / "outside";
    std::filesystem::create_directories(outside);
    test::WriteFile(outside / "precious", "precious");
    test::WriteFile(outside / "notes", "outside notes");
    std::filesystem::create_symlink(outside / "precious", local / ".fmcu0260.hex.part");
    std::filesystem::create_symlink(outside / "made-by-the-copy", local / "fmcu0260.hex");  // dangling
    std::filesystem::create_symlink(outside / "notes", local / "ffwnotes.rtf.rejected");
    const RunResult r = RunCopy(local, Server());
    EXPECT_EQ(r.result, kFtpResultFailed);  // the notes are refused
    EXPECT_THAT(FolderNames(outside), ElementsAre("notes", "precious"));
    EXPECT_EQ(Text(outside / "precious"), "precious");
    EXPECT_EQ(Text(outside / "notes"), "outside notes");
    EXPECT_FALSE(std::filesystem::is_symlink(local / "fmcu0260.hex"));
    EXPECT_EQ(test::ReadFile(local / "fmcu0260.hex"), test::ReadFile(remote / "fmcu0260.hex"));
    EXPECT_FALSE(std::filesystem::is_symlink(local / "ffwnotes.rtf.rejected"));
    EXPECT_EQ(test::ReadFile(local / "ffwnotes.rtf.rejected"), test::ReadFile(remote / "ffwnotes.rtf"));
    // The planted link is left as it was: the copy never used that name.
    EXPECT_TRUE(std::filesystem::is_symlink(local / ".fmcu0260.hex.part"));
    EXPECT_THAT(FolderNames(local),
                ElementsAre(".fmcu0260.hex.part", "ffwnotes.rtf.rejected", "fmcu0254.hex", "fmcu0260.hex"));
}

TEST_P(FtpCopyRun, CancelWhileAFileIsCopiedEndsWithResult2AndLeavesNothing) {
    // Big enough to come in several blocks.
    test::WriteHexFile(remote / "fdsp0300.hex", test::DspImageBytes(200000, 4, "3.00"), 0);
    const RunResult r = RunCopy(local, Server(true), true);
    EXPECT_EQ(r.result, kFtpResultCancelled);
    EXPECT_THAT(FolderNames(local), ElementsAre("fmcu0254.hex"));
}

INSTANTIATE_TEST_SUITE_P(Mirror, FtpCopyRun, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "LoopbackFtp" : "FileUrl"; });

// Servers that misbehave on purpose: every run ends, with a clear line, and writes nothing but
// good files into the folder.
class HostileServer : public ::testing::Test {
  protected:
    ~HostileServer() override { server.Stop(); }
    std::string Start(const char* mode) {
        std::string port;
        EXPECT_EQ(server.Start("/usr/bin/python3", {RM7_FTP_SCRIPTS "/hostile_ftpd.py", mode}), 0u);
        EXPECT_TRUE(server.ReadFirstLine(port, 10000));
        return "ftp://127.0.0.1:" + port;
    }
    CTempFolder temp;
    std::filesystem::path local = temp / "deep" / "local";
    CChildProcess server;
    FtpCopyLimits quick{2, 2, 64u << 10, 64u << 10, 4096, 100, 2};
};

TEST_F(HostileServer, NamesThatTryToLeaveTheFolderAreSkippedAndReported) {
    std::filesystem::create_directories(local);
    const RunResult r = RunCopy(local, Start("names"), false, quick);
    EXPECT_EQ(r.result, kFtpResultDone);
    for (const char* name : {"../escape.hex", "/tmp/fmcu0999.hex", ".hidden", "sub/fmcu0902.hex"}) {
        EXPECT_TRUE(r.Logged(std::string("Skipped ") + name + ": ")) << name;
    }
    // Control characters in a name reach the log only as text.
    EXPECT_THAT(r.lines, Contains("Skipped fmcu0901.hex\\x07: the name holds a control character"));
    EXPECT_THAT(r.lines, Contains("Skipped fmcu0904.hex\\x1B[2J\\x9B"
                                  "1m: the name holds a control character"));
    for (const std::string& line : r.lines) {
        EXPECT_EQ(line.find_first_of("\x1B\x07\x9B"), std::string::npos) << PrintableForm(line);
    }
    EXPECT_THAT(FolderNames(local), ElementsAre("fdsp0300.hex"));
    EXPECT_THAT(FolderNames(temp / "deep"), ElementsAre("local"));
    EXPECT_FALSE(std::filesystem::exists("/tmp/fmcu0999.hex.part"));
}

TEST_F(HostileServer, EveryFailureEndsWithAClearMessageAndLeavesNothing) {
    struct Case {
        const char* mode;
        int result;
        Result code;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"cut",
         kFtpResultFailed,
         kErrInternetAborted,
         {"Unable to copy file fmcu0300.hex",
          "Copy the file completed with error 0x00002EFE: The connection with the server was terminated abnormally."}},
        {"garbage", kFtpResultDone, 0, {"Skipped "}},
        {"silent",
         kFtpResultFailed,
         kErrInternetTimeout,
         {"completed with error 0x00002EE2: The operation timed out."}},
        {"stall", kFtpResultFailed, kErrInternetTimeout, {"completed with error 0x00002EE2: The operation timed out."}},
        // Each byte keeps the stall timer quiet; the low-speed limit ends it.
        {"trickle",
         kFtpResultFailed,
         kErrInternetTimeout,
         {"Copy the file completed with error 0x00002EE2: The operation timed out.", "Operation too slow"}},
        {"endless-file",
         kFtpResultFailed,
         kErrInternetBadResponse,
         {"Unable to copy file fmcu0300.hex",
          "Copy the file completed with error 0x00002F78: The server response could not be parsed.",
          "The server answered: larger than 65536 bytes"}},
        {"endless-listing",
         kFtpResultFailed,
         kErrInternetBadResponse,
         {"List the firmware files completed with error 0x00002F78: The server response could not be parsed.",
          "The server answered: larger than 65536 bytes"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        CTempFolder folder;
        WriteMcuHex(folder / "fmcu0254.hex", 1, "2.54");
        const RunResult r = RunCopy(folder.Path(), Start(c.mode), false, quick);
        server.Stop();
        for (const std::string& line : c.lines) {
            EXPECT_TRUE(r.Logged(line)) << line << "\n" << ::testing::PrintToString(r.lines);
        }
        // The calls the copy is made of are for a trace, never for the person's log.
        for (const std::string& line : r.lines) {
            for (const char* call : {"FtpGetFile", "FtpFindFile", "InternetGetLastResponseInfo", "InternetConnect"}) {
                EXPECT_THAT(line, Not(HasSubstr(call)));
            }
        }
        EXPECT_EQ(r.result, c.result);
        EXPECT_EQ(r.code, c.code) << std::hex << r.code;
        EXPECT_THAT(FolderNames(folder.Path()), ElementsAre("fmcu0254.hex"));
    }
}

TEST_F(HostileServer, ANameTooLongToSetAsideIsRefusedAndTheFilesBehindItAreCopied) {
    std::filesystem::create_directories(local);
    WriteMcuHex(local / "fmcu0254.hex", 1, "2.54");
    const std::string mcu = "fmcu0400" + std::string(243, 'x') + ".hex";
    const std::string dsp = "fdsp0400" + std::string(243, 'x') + ".hex";
    ASSERT_EQ(dsp.size(), 255u);
    const RunResult r = RunCopy(local, Start("long"), false, quick);
    EXPECT_EQ(r.result, kFtpResultFailed);
    EXPECT_EQ(r.code, kErrFirmwareImageEmpty);
    EXPECT_TRUE(r.Logged("Unable to copy file " + mcu + ": Line ")) << ::testing::PrintToString(r.lines);
    EXPECT_THAT(r.lines, Contains("Copied " + dsp + " from Tarnwell"));
    EXPECT_THAT(r.lines, Contains("Refused 1 of 2 files"));
    EXPECT_THAT(FolderNames(local), ElementsAre(dsp, "fmcu0254.hex"));
}

TEST(FtpCopyRefused, AnotherProtocolOrAMissingFolderFailsBeforeAnyTransfer) {
    CTempFolder temp;
    RunResult r = RunCopy(temp.Path(), "http://127.0.0.1:1/");
    EXPECT_EQ(r.result, kFtpResultFailed);
    EXPECT_TRUE(r.Logged("Connect to the file server completed with error 0x00002EE6"))
        << ::testing::PrintToString(r.lines);
    r = RunCopy(temp / "missing", "file:///nowhere");
    EXPECT_EQ(r.result, kFtpResultFailed);
    EXPECT_TRUE(r.Logged("Open the firmware folder completed with error 0x00000002: " + (temp / "missing").string() +
                         ": No such file or directory"))
        << ::testing::PrintToString(r.lines);
    EXPECT_FALSE(std::filesystem::exists(temp / "missing"));
}

}  // namespace
}  // namespace rm7
