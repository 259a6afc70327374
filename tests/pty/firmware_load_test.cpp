// rm7util firmware check, send, list and update against rm7-sim over a real pty: what reaches
// the radio's flash is the image, byte for byte, and the exit status says whether it did.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <csignal>
#include <cstring>
#include <functional>
#include <optional>
#include <ostream>

#include "firmware/intel_hex.h"
#include "tests/pty/pty_support.h"
#include "tests/support/firmware_files.h"

namespace rm7::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

constexpr std::uint32_t kMcuLow = 0x800;
constexpr std::uint32_t kMcuSize = 0x1FD80 - 0x800;

// An MCU image without a reconciliation value, and what the radio must hold after the load.
struct McuFirmware {
    std::vector<std::uint8_t> image;
    std::vector<std::uint8_t> flash;
};

McuFirmware MakeMcu(std::uint32_t seed, const char* version) {
    McuFirmware fw;
    fw.image = McuImageBytes(seed, version);
    fw.flash = Reconciled(fw.image);
    return fw;
}

class FirmwareLoad : public ::testing::Test {
  protected:
    std::filesystem::path Hex(const std::string& name, const std::vector<std::uint8_t>& bytes, std::uint32_t at) {
        const std::filesystem::path file = scratch.Dir() / name;
        WriteHexFile(file, bytes, at);
        return file;
    }
    std::filesystem::path DumpDir() {
        const std::filesystem::path dir = scratch.Dir() / "flash";
        std::filesystem::create_directories(dir);
        return dir;
    }

    CScratch scratch;
};

TEST_F(FirmwareLoad, McuThenDspReachTheFlashExactlyAndTheVersionsVerify) {
    const McuFirmware mcu = MakeMcu(5, "0288");
    const std::vector<std::uint8_t> dsp = DspImageBytes(20000, 6, "0291");
    const auto mcuFile = Hex("fmcu0288.hex", mcu.image, kMcuLow);
    const auto dspFile = Hex("fdsp0291.hex", dsp, 0);
    const auto dump = DumpDir();
    CSimulator sim({"--mcu", "02.54", "--dsp", "02.54", "--flash-dump", dump.string()});
    ASSERT_FALSE(sim.Device().empty());

    const RunResult r = RunUtil(
        scratch, {"--port", sim.Device(), "--json", "firmware", "send", "--mcu", mcuFile, "--dsp", dspFile}, 240);
    ASSERT_EQ(r.status, 0) << r.err;
    const auto json = nlohmann::json::parse(r.out);
    EXPECT_EQ(json["mcu"]["version"], "02.88");
    EXPECT_EQ(json["dsp"]["version"], "02.91");
    EXPECT_EQ(json["mcu"]["result"], 0);
    EXPECT_EQ(ReadFile(dump / "mcu.bin"), mcu.flash);
    EXPECT_EQ(ReadFile(dump / "dsp.bin"), dsp);
    EXPECT_THAT(r.err, HasSubstr("MCU firmware version verified"));
    EXPECT_THAT(r.err, HasSubstr("DSP firmware version verified"));
}

TEST_F(FirmwareLoad, RadioWaitingInItsBootLoaderIsLoadedAtItsOwnSpeed) {
    const McuFirmware mcu = MakeMcu(7, "0300");
    const auto file = Hex("fmcu0300.hex", mcu.image, kMcuLow);
    const auto dump = DumpDir();
    CSimulator sim({"--boot-loader", "--speed", "19200", "--flash-dump", dump.string()});
    const RunResult r = RunUtil(scratch, {"--port", sim.Device(), "firmware", "send", "--mcu", file}, 240);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "MCU firmware 03.00 loaded and verified\n");
    EXPECT_EQ(ReadFile(dump / "mcu.bin"), mcu.flash);
    EXPECT_THAT(r.err, HasSubstr("Connected to RM7 on " + sim.Device() + " at 19200 bit/s"));
}

// A load cut short leaves the radio's boot loader in its download, deaf to every poll; the
// next send brings it to a packet boundary with fill bytes and loads the image whole.
TEST_F(FirmwareLoad, ALoadCutShortIsTakenUpByTheNextSend) {
    const McuFirmware mcu = MakeMcu(25, "0288");
    const auto file = Hex("fmcu0288.hex", mcu.image, kMcuLow);
    struct Case {
        const char* name;
        std::vector<std::string> simArgs;
        bool killLoad;  // rm7util is killed in the middle of a load first
    };
    const Case cases[] = {
        {"loader left in the middle of a packet", {"--mid-packet", "40"}, false},
        {"rm7util killed during the load", {}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto dump = DumpDir();
        std::filesystem::remove(dump / "mcu.bin");
        std::vector<std::string> simArgs{"--pace", "--flash-dump", dump.string()};
        simArgs.insert(simArgs.end(), c.simArgs.begin(), c.simArgs.end());
        CSimulator sim(simArgs);
        ASSERT_FALSE(sim.Device().empty());
        if (c.killLoad) {
            // Killed as a crash or a pulled plug ends it, once a quarter of the packets are sent.
            CRunningUtil killed(scratch, {"--port", sim.Device(), "firmware", "send", "--mcu", file.string()});
            ASSERT_TRUE(killed.WaitFor("MCU firmware: 25%", 120000)) << killed.Err();
            killed.Signal(SIGKILL);
            const int status = killed.Wait(30000);
            ASSERT_TRUE(WIFSIGNALED(status)) << killed.Err();
            ASSERT_EQ(WTERMSIG(status), SIGKILL);
            ASSERT_FALSE(std::filesystem::exists(dump / "mcu.bin")) << "the load was not cut short";
        }
        // The search and the fill take at most some 9 s of the contact's 10; a busy machine gets more.
        const RunResult r =
            RunUtil(scratch, {"--port", sim.Device(), "--timeout", "20", "firmware", "send", "--mcu", file}, 240);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, "MCU firmware 02.88 loaded and verified\n");
        // The fill bytes it took are counted only under Verbose Logging.
        EXPECT_THAT(r.err, HasSubstr("RM7 Bootstrap Loader answered at a packet boundary\n"));
        EXPECT_EQ(ReadFile(dump / "mcu.bin"), mcu.flash);
    }
}

TEST_F(FirmwareLoad, ARefusedFileLeavesTheRadioUntouched) {
    McuFirmware mcu = MakeMcu(9, "0288");
    mcu.image[0] = 0x12;  // a stored value, but the image does not sum to zero
    const auto bad = Hex("fmcu0288.hex", mcu.image, kMcuLow);
    const auto good = Hex("fdsp0291.hex", RandomBytes(100, 1), 0);
    const auto record = scratch.Dir() / "wire.txt";
    CSimulator sim({"--record", record.string()});
    const RunResult r = RunUtil(scratch, {"--port", sim.Device(), "firmware", "send", "--mcu", bad, "--dsp", good});
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("Line 4014, error code 0xE2000041: Input hex file is corrupt, check sum is not zero"));
    sim.Stop();
    EXPECT_EQ(ReadAll(record), "") << "nothing may reach the radio";
}

TEST_F(FirmwareLoad, AnotherVersionThanTheNameSaysIsAFailure) {
    const auto file = Hex("fmcu0290.hex", MakeMcu(11, "0288").image, kMcuLow);
    CSimulator sim({});
    const RunResult r = RunUtil(scratch, {"--port", sim.Device(), "firmware", "send", "--mcu", file}, 240);
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("RM7 responded with version 02.88"));
    // Said once, with what the radio runs now.
    EXPECT_THAT(r.err, HasSubstr("rm7util: firmware send: Version number verification failed\nhint: The radio runs "
                                 "MCU 02.88 and DSP 02.54. The configuration was backed up to "));
    EXPECT_THAT(r.err, Not(HasSubstr("Error code")));
    EXPECT_TRUE(r.out.empty());
}

// A fixed seed: the radio's faults fall on the same bytes each run, and every one of them is
// recovered by the loader's retries, so the load ends with the exact image.
TEST_F(FirmwareLoad, LossyLinkRecoversAndEndsWithTheExactImage) {
    const McuFirmware mcu = MakeMcu(13, "0288");
    const auto file = Hex("fmcu0288.hex", mcu.image, kMcuLow);
    const auto dump = DumpDir();
    CSimulator sim({"--flash-dump", dump.string(), "--faults", "drop=0.002,nak=0.02,garble=0.002,lose=0.0002,seed=3"});
    const RunResult r = RunUtil(scratch, {"--port", sim.Device(), "firmware", "send", "--mcu", file}, 280);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFile(dump / "mcu.bin"), mcu.flash);
    EXPECT_THAT(r.err, HasSubstr("Total number of retries was"));
    EXPECT_EQ(r.out, "MCU firmware 02.88 loaded and verified\n");
}

TEST_F(FirmwareLoad, ListShowsTheNewestFilesBesideWhatTheRadioRuns) {
    Hex("fmcu0254.hex", RandomBytes(64, 1), kMcuLow);
    Hex("FMCU0288.HEX", RandomBytes(64, 2), kMcuLow);
    Hex("fdsp0260.hex", RandomBytes(64, 3), 0);
    WriteFile(scratch.Dir() / "fmcu0300.txt", std::string("not firmware"));
    CSimulator sim({"--mcu", "02.54", "--dsp", "02.60"});
    RunResult r = RunUtil(scratch, {"--port", sim.Device(), "--json", "firmware", "list", "--folder", scratch.Dir()});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto json = nlohmann::json::parse(r.out);
    EXPECT_EQ(json["radio"], "running");
    EXPECT_EQ(json["mcu"]["installed"], "02.54");
    EXPECT_EQ(json["mcu"]["available"], "02.88");
    EXPECT_EQ(json["mcu"]["file"], (scratch.Dir() / "FMCU0288.HEX").string());
    EXPECT_EQ(json["mcu"]["newer"], true);
    EXPECT_EQ(json["dsp"]["available"], "02.60");
    EXPECT_EQ(json["dsp"]["newer"], false);
    EXPECT_TRUE(json["release_notes"].is_null());

    // A folder without firmware is listed as such; the radio is still contacted. A folder that is
    // not there is a mistake and said so.
    std::filesystem::create_directory(scratch.Dir() / "empty");
    r = RunUtil(scratch, {"--port", sim.Device(), "firmware", "list", "--folder", scratch.Dir() / "empty"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(r.out, HasSubstr("MCU  02.54      Missing"));
    r = RunUtil(scratch, {"--port", sim.Device(), "firmware", "list", "--folder", scratch.Dir() / "none"});
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("Firmware folder " + (scratch.Dir() / "none").string() + " does not exist."));
}

TEST_F(FirmwareLoad, UpdateSendsOnlyWhatIsNewerAndThenNothing) {
    const McuFirmware mcu = MakeMcu(17, "0288");
    Hex("fmcu0288.hex", mcu.image, kMcuLow);
    Hex("fdsp0254.hex", DspImageBytes(2000, 18, "0254"), 0);
    const auto dump = DumpDir();
    CSimulator sim({"--mcu", "02.54", "--dsp", "02.54", "--flash-dump", dump.string()});

    RunResult r =
        RunUtil(scratch, {"--port", sim.Device(), "--json", "firmware", "update", "--folder", scratch.Dir()}, 240);
    ASSERT_EQ(r.status, 0) << r.err;
    auto json = nlohmann::json::parse(r.out);
    EXPECT_EQ(json["mcu"]["version"], "02.88");
    EXPECT_FALSE(json.contains("dsp")) << "the radio already runs this DSP version";
    EXPECT_EQ(ReadFile(dump / "mcu.bin"), mcu.flash);
    EXPECT_FALSE(std::filesystem::exists(dump / "dsp.bin"));
    EXPECT_THAT(r.err, HasSubstr("Sending firmware from " + scratch.Dir().string()));
    EXPECT_THAT(r.err, HasSubstr("Elapsed time: "));

    r = RunUtil(scratch, {"--port", sim.Device(), "firmware", "update", "--folder", scratch.Dir()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(
        r.out,
        "Nothing newer to send: the RM7 runs MCU 02.88 and DSP 02.54; the folder holds MCU 02.88 and DSP 02.54\n");
}

// From its boot loader the radio tells no DSP version; once its MCU firmware runs it does, and
// a DSP that is already current is not sent again.
TEST_F(FirmwareLoad, UpdateFromTheBootLoaderKeepsACurrentDsp) {
    const McuFirmware mcu = MakeMcu(23, "0288");
    Hex("fmcu0288.hex", mcu.image, kMcuLow);
    Hex("fdsp0254.hex", DspImageBytes(2000, 24, "0254"), 0);
    const auto dump = DumpDir();
    CSimulator sim({"--boot-loader", "--dsp", "02.54", "--flash-dump", dump.string()});
    const RunResult r =
        RunUtil(scratch, {"--port", sim.Device(), "firmware", "update", "--folder", scratch.Dir()}, 240);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "MCU firmware 02.88 loaded and verified\n");
    EXPECT_THAT(r.err, HasSubstr("The RM7 runs DSP 02.54: not sent"));
    EXPECT_EQ(ReadFile(dump / "mcu.bin"), mcu.flash);
    EXPECT_FALSE(std::filesystem::exists(dump / "dsp.bin"));
}

TEST_F(FirmwareLoad, UpdateAllSendsBothAndARefusedFileLeavesTheRadioUntouched) {
    Hex("fmcu0254.hex", MakeMcu(19, "0254").image, kMcuLow);
    const std::vector<std::uint8_t> dsp = DspImageBytes(2000, 20, "0254");
    Hex("fdsp0254.hex", dsp, 0);
    const auto dump = DumpDir();
    CSimulator sim({"--flash-dump", dump.string()});
    RunResult r =
        RunUtil(scratch, {"--port", sim.Device(), "firmware", "update", "--all", "--folder", scratch.Dir()}, 240);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "MCU firmware 02.54 loaded and verified\nDSP firmware 02.54 loaded and verified\n");
    EXPECT_EQ(ReadFile(dump / "dsp.bin"), dsp);
    sim.Stop();

    // A newer file the loader would refuse: nothing is sent.
    const auto record = scratch.Dir() / "wire.txt";
    McuFirmware bad = MakeMcu(21, "0300");
    bad.image[0] = 0x12;
    Hex("fmcu0300.hex", bad.image, kMcuLow);
    CSimulator quiet({"--record", record.string()});
    r = RunUtil(scratch, {"--port", quiet.Device(), "firmware", "update", "--folder", scratch.Dir()});
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("error code 0xE2000041"));
    quiet.Stop();
    const std::string wire = ReadAll(record);
    EXPECT_THAT(wire, HasSubstr("RVM;")) << "the radio was contacted";
    EXPECT_EQ(wire.find("LDM;"), std::string::npos) << "no load may start";
}

// The number of times text appears in all.
std::size_t Count(const std::string& all, const std::string& text) {
    std::size_t n = 0;
    for (std::size_t at = all.find(text); at != std::string::npos; at = all.find(text, at + 1)) {
        ++n;
    }
    return n;
}

// Ctrl-C twice, as a person does it: the second once the warning is read. A machine too busy to
// take the second within the window hears a new first one and warns again: then once more.
// signal: to the program alone, or to its process group as a terminal sends it.
bool StopTheLoad(CRunningUtil& util, const std::function<void()>& signal) {
    signal();
    for (std::size_t warned = 1; warned <= 10; ++warned) {
        if (!util.WaitUntil([&](const std::string& err) { return Count(err, "goes on") >= warned; }, 60000)) {
            return false;
        }
        signal();
        const bool settled = util.WaitUntil(
            [&](const std::string& err) {
                return err.find("stops at its next step") != std::string::npos || Count(err, "goes on") > warned;
            },
            60000);
        if (!settled) {
            return false;
        }
        if (util.Err().find("stops at its next step") != std::string::npos) {
            return true;
        }
    }
    return false;
}

// A signal during the load, over a real pty with the radio answering at wire speed so that the
// load takes long enough to be caught in the middle. One warns and the load goes on; a second
// soon after stops it between packets, and the text names the command that takes it up.
struct SignalCase {
    const char* name;
    std::uint32_t seed;             // of the MCU image sent
    bool simulate;                  // rm7util starts its own radio: no --port, no flash to read
    std::vector<std::string> args;  // "%FILE%" stands for the MCU file
    int signal;
    bool toGroup;                       // to the process group, as a terminal sends Ctrl-C
    bool twice;                         // a second signal once the warning is read
    int status;                         // exit status
    std::vector<std::string> err;       // texts standard error holds ("%FILE%" as above)
    std::vector<std::string> notInErr;  // texts it must not hold
    std::string out;
    bool loaded;     // the flash holds the image when rm7util ends (else nothing was written)
    bool sendAgain;  // the same command run again finds the boot loader and loads the image
};

void PrintTo(const SignalCase& c, std::ostream* os) {
    *os << c.name;
}

std::string WithFile(std::string text, const std::filesystem::path& file) {
    const std::string mark = "%FILE%";
    for (std::size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at)) {
        text.replace(at, mark.size(), file.string());
        at += file.string().size();
    }
    return text;
}

const char* const kWarning =
    "Critical Operation in Progress\nrm7util: firmware send goes on. Press Ctrl-C again within 5 seconds to stop it.\n";
// A job the user stopped.
constexpr int kStopped = 130;

class SignalDuringLoad : public FirmwareLoad, public ::testing::WithParamInterface<SignalCase> {};

TEST_P(SignalDuringLoad, OneWarnsTwoStopTheLoadAndSayHowToTakeItUp) {
    const SignalCase& c = GetParam();
    const McuFirmware mcu = MakeMcu(c.seed, "0288");
    const auto file = Hex("fmcu0288.hex", mcu.image, kMcuLow);
    const auto dump = DumpDir();
    std::optional<CSimulator> sim;
    std::vector<std::string> args;
    if (!c.simulate) {
        sim.emplace(std::vector<std::string>{"--pace", "--flash-dump", dump.string()});
        ASSERT_FALSE(sim->Device().empty());
        args = {"--port", sim->Device()};
    }
    for (const std::string& a : c.args) {
        args.push_back(WithFile(a, file));
    }
    CRunningUtil util(scratch, args);
    ASSERT_TRUE(util.WaitFor("MCU firmware: 25%", 120000)) << util.Err();
    const auto signal = [&] { c.toGroup ? util.SignalGroup(c.signal) : util.Signal(c.signal); };
    if (c.twice) {
        ASSERT_TRUE(StopTheLoad(util, signal)) << util.Err();
    } else {
        signal();
        ASSERT_TRUE(util.WaitFor("goes on", 10000)) << util.Err();
    }
    const int status = util.Wait(180000);
    ASSERT_TRUE(WIFEXITED(status)) << util.Err();
    EXPECT_EQ(WEXITSTATUS(status), c.status) << util.Err();
    for (const std::string& text : c.err) {
        EXPECT_THAT(util.Err(), HasSubstr(WithFile(text, file)));
    }
    for (const std::string& text : c.notInErr) {
        EXPECT_THAT(util.Err(), Not(HasSubstr(text)));
    }
    EXPECT_EQ(util.Out(), c.out);
    if (c.simulate) {
        return;
    }
    if (c.loaded) {
        EXPECT_EQ(ReadFile(dump / "mcu.bin"), mcu.flash);
    } else {
        EXPECT_FALSE(std::filesystem::exists(dump / "mcu.bin")) << "the load was not stopped";
    }
    if (c.sendAgain) {
        // The load the text names finds the boot loader still in its download and completes.
        const RunResult r = RunUtil(scratch, args, 240);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(ReadFile(dump / "mcu.bin"), mcu.flash);
    }
}

// (Finding the boot loader inside its download takes most of the default 10 s on a paced link:
// the rows that stop the load give the contact 20.)
INSTANTIATE_TEST_SUITE_P(
    Rows, SignalDuringLoad,
    ::testing::Values(
        SignalCase{"FirstSignalWarnsAndTheLoadGoesOn",
                   25,
                   false,
                   {"firmware", "send", "--mcu", "%FILE%"},
                   SIGTERM,
                   false,
                   false,
                   0,
                   {kWarning},
                   {"stops at its next step"},
                   "MCU firmware 02.88 loaded and verified\n",
                   true,
                   false},
        // Stopped between packets: the contact that follows finds the boot loader inside its download.
        SignalCase{"SecondSignalSoonAfterStopsTheLoadAndSaysHowToRecover",
                   27,
                   false,
                   {"--timeout", "20", "firmware", "send", "--mcu", "%FILE%"},
                   SIGINT,
                   false,
                   true,
                   kStopped,
                   {kWarning, "rm7util: firmware send stops at its next step.\n",
                    "rm7util: firmware send: MCU firmware load was cancelled\nhint: The radio waits in its boot "
                    "loader. The configuration "
                    "was backed up to ",
                    ". Run `rm7util firmware send --mcu %FILE%` again.\n"},
                   {"went away", "Error code"},
                   "",
                   false,
                   true},
        // Ctrl-C at a terminal reaches the whole foreground process group. The radio rm7util
        // started for --simulate must not hear it: the load is stopped rm7util's own way, with
        // the radio there to be found afterwards, never "went away".
        SignalCase{
            "CtrlCAtTheTerminalStopsASimulatedLoadNotTheSimulatedRadio",
            27,
            true,
            {"--simulate", "--sim-args=--pace", "--timeout", "20", "firmware", "update"},
            SIGINT,
            true,
            true,
            kStopped,
            {"Critical Operation in Progress\nrm7util: firmware update goes on. Press Ctrl-C again within 5 "
             "seconds to stop it.\n",
             "rm7util: firmware update stops at its next step.\n",
             "rm7util: firmware update: MCU firmware load was cancelled\nhint: The radio waits in its boot loader. ",
             "Run `rm7util firmware update` again.\n"},
            {"went away", "Error code"},
            "",
            false,
            false}),
    [](const auto& info) { return std::string(info.param.name); });

// Outside a firmware load or a restore, SIGINT ends rm7util at once, as it always has.
TEST_F(FirmwareLoad, SignalOutsideACriticalJobEndsTheProgram) {
    CSimulator sim({});
    CRunningUtil util(scratch, {"--port", sim.Device(), "send", "RVM;", "--wait", "600000"});
    ASSERT_TRUE(util.WaitFor("Connected to RM7", 30000)) << util.Err();
    util.Signal(SIGINT);
    const int status = util.Wait(10000);
    ASSERT_TRUE(WIFSIGNALED(status)) << util.Err();
    EXPECT_EQ(WTERMSIG(status), SIGINT);
}

}  // namespace
}  // namespace rm7::test

namespace rm7::test {
namespace {

// The simulator's own firmware: the checker takes both files as the loader would, and an
// update of a radio on the default versions sends both and verifies them.
TEST(MadeFirmware, PassesTheCheckAndUpdatesTheSimulatedRadio) {
    CScratch scratch;
    const std::filesystem::path folder = scratch.Dir() / "made" / "fw";  // created by the maker
    RunResult r = RunProgram(scratch, "rm7-sim", {"--make-firmware", folder.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto mcu = folder / "fmcu0300.hex";
    const auto dsp = folder / "fdsp0300.hex";
    const std::string notes = ReadAll(folder / "ffwnotes.rtf");
    EXPECT_TRUE(notes.starts_with("{\\rtf1")) << notes;
    EXPECT_THAT(notes, HasSubstr("MCU 03.00, DSP 03.00"));

    r = RunUtil(scratch, {"--json", "firmware", "check", mcu.string(), dsp.string()});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const auto json = nlohmann::json::parse(r.out);
    ASSERT_EQ(json.size(), 2u);
    EXPECT_EQ(json[0]["kind"], "MCU");
    EXPECT_EQ(json[0]["version"], "03.00");
    EXPECT_EQ(json[0]["image_size"], kMcuSize);
    EXPECT_EQ(json[0]["dropped_bytes"], 0);
    EXPECT_EQ(json[0]["reconciliation"]["outcome"], "stored") << r.out;
    EXPECT_EQ(json[1]["kind"], "DSP");
    EXPECT_EQ(json[1]["version"], "03.00");

    const std::filesystem::path dump = scratch.Dir() / "flash";
    std::filesystem::create_directories(dump);
    CSimulator sim({"--flash-dump", dump.string()});
    ASSERT_FALSE(sim.Device().empty());
    r = RunUtil(scratch, {"--port", sim.Device(), "--json", "firmware", "update", "--folder", folder.string()}, 240);
    ASSERT_EQ(r.status, 0) << r.err;
    const auto sent = nlohmann::json::parse(r.out);
    EXPECT_EQ(sent["mcu"]["version"], "03.00");
    EXPECT_EQ(sent["dsp"]["version"], "03.00");
    EXPECT_THAT(r.err, HasSubstr("MCU firmware version verified"));
    EXPECT_THAT(r.err, HasSubstr("DSP firmware version verified"));
    // The stored reconciliation value went through unchanged: the flash sums to zero.
    const std::vector<std::uint8_t> flash = ReadFile(dump / "mcu.bin");
    ASSERT_EQ(flash.size(), kMcuSize);
    std::uint16_t sum = 0;
    for (std::size_t i = 0; i + 1 < flash.size(); i += 2) {
        sum = static_cast<std::uint16_t>(sum + flash[i] * 256 + flash[i + 1]);
    }
    EXPECT_EQ(sum, 0);
}

TEST(MadeFirmware, AFolderThatCannotBeMadeIsABadFile) {
    CScratch scratch;
    WriteFile(scratch.Dir() / "plain", "not a folder");
    const RunResult r = RunProgram(scratch, "rm7-sim", {"--make-firmware", (scratch.Dir() / "plain").string()});
    EXPECT_EQ(r.status, 2);
    EXPECT_THAT(r.err, HasSubstr("cannot create folder"));
}

}  // namespace
}  // namespace rm7::test
