#include "firmware/ftp_copy.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "platform/child_process.h"
#include "platform/poll_pump.h"
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
                          Case{kFtpResultCancelled, true, true}, Case{kFtpResultFailed, false, false}}) {
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
    for (const char* refused : {"http://h", "sftp://h", "file://host/x", "ftp://", "ftp:///x", "/media/usb"}) {
        EXPECT_EQ(FirmwareDirectoryUrl(refused), "") << refused;
    }
}

// One run of the job to its end on a real pump.
struct RunResult {
    int result = 0;
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
    // Cut before its end-of-file record.
    WriteMcuHex(temp / "whole.hex", 3, "2.70");
    std::string text;
    for (auto b : test::ReadFile(temp / "whole.hex")) {
        text += static_cast<char>(b);
    }
    test::WriteFile(remote / "fmcu0270.hex", text.substr(0, text.size() / 2 - text.size() / 2 % 45));
    const RunResult r = RunCopy(local, Server());
    EXPECT_EQ(r.result, kFtpResultDone);
    EXPECT_THAT(r.lines, Contains("File fmcu0270.hex verify failed"));
    EXPECT_THAT(r.lines, Contains("Unable to copy file fmcu0270.hex"));
    EXPECT_THAT(r.lines, Contains("Copied 0 files from Tarnwell to " + local.string()));
    EXPECT_EQ(ScanFolder(local).Mcu().version, 254);
    EXPECT_THAT(FolderNames(local), ElementsAre("fmcu0254.hex", "fmcu0270.hex.rejected"));
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
    FtpCopyLimits quick{2, 2, 1u << 20, 1u << 20, 4096};
};

TEST_F(HostileServer, NamesThatTryToLeaveTheFolderAreSkippedAndReported) {
    std::filesystem::create_directories(local);
    const RunResult r = RunCopy(local, Start("names"), false, quick);
    EXPECT_EQ(r.result, kFtpResultDone);
    for (const char* name : {"../escape.hex", "/tmp/fmcu0999.hex", ".hidden", "sub/fmcu0902.hex"}) {
        EXPECT_TRUE(r.Logged(std::string("Skipped ") + name + ": ")) << name;
    }
    EXPECT_TRUE(r.Logged("Skipped fmcu0901.hex")) << ::testing::PrintToString(r.lines);
    EXPECT_THAT(FolderNames(local), ElementsAre("fdsp0300.hex"));
    EXPECT_THAT(FolderNames(temp / "deep"), ElementsAre("local"));
    EXPECT_FALSE(std::filesystem::exists("/tmp/fmcu0999.hex.part"));
}

TEST_F(HostileServer, EveryFailureEndsWithAClearMessage) {
    struct Case {
        const char* mode;
        const char* line;
    };
    const Case cases[] = {
        {"cut", "FtpGetFile completed with error 0x0000"},
        {"garbage", "Skipped "},
        {"silent", "completed with error 0x00002EE2: The operation timed out."},
        {"stall", "completed with error 0x00002EE2: The operation timed out."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        CTempFolder folder;
        WriteMcuHex(folder / "fmcu0254.hex", 1, "2.54");
        const RunResult r = RunCopy(folder.Path(), Start(c.mode), false, quick);
        server.Stop();
        EXPECT_TRUE(r.Logged(c.line)) << ::testing::PrintToString(r.lines);
        if (std::string(c.mode) != "garbage") {
            EXPECT_EQ(r.result, kFtpResultFailed);
        }
        EXPECT_THAT(FolderNames(folder.Path()), ElementsAre("fmcu0254.hex"));
    }
}

TEST(FtpCopyRefused, AnotherProtocolOrAMissingFolderFailsBeforeAnyTransfer) {
    CTempFolder temp;
    RunResult r = RunCopy(temp.Path(), "http://127.0.0.1:1/");
    EXPECT_EQ(r.result, kFtpResultFailed);
    EXPECT_TRUE(r.Logged("InternetConnect completed with error 0x00002EE6")) << ::testing::PrintToString(r.lines);
    r = RunCopy(temp / "missing", "file:///nowhere");
    EXPECT_EQ(r.result, kFtpResultFailed);
    EXPECT_FALSE(std::filesystem::exists(temp / "missing"));
}

}  // namespace
}  // namespace rm7
