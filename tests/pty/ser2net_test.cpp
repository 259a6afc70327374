// rm7util through a real ser2net on loopback, in front of rm7-sim's pty: the radio's port on the
// network, reached as rfc2217://HOST:PORT (speed set at the far end) or tcp://HOST:PORT (speed
// fixed there). The speed search, a whole firmware load with the exact image, the jobs, a refused
// port and a server that dies in the middle of a load.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>

#include "firmware/intel_hex.h"
#include "tests/pty/pty_support.h"
#include "tests/pty/ser2net_support.h"
#include "tests/support/firmware_files.h"

namespace rm7::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

constexpr std::uint32_t kMcuLow = 0x800;

class Ser2net : public ::testing::Test {
  protected:
    // The simulated radio with these options, behind ser2net: an RFC 2217 port and a raw one
    // fixed at rawLine.
    void Start(const std::vector<std::string>& simArgs, const std::string& rawLine = "38400n81") {
        sim = std::make_unique<CSimulator>(simArgs);
        ASSERT_FALSE(sim->Device().empty());
        rfcPort = FreeLoopbackPort();
        rawPort = FreeLoopbackPort();
        server = std::make_unique<CSer2net>(
            scratch.Dir(), std::vector<Ser2netPort>{{"telnet(rfc2217),tcp", sim->Device(), "38400n81", rfcPort},
                                                    {"tcp", sim->Device(), rawLine, rawPort}});
        std::string why;
        ASSERT_TRUE(server->Start(why)) << why;
    }
    std::string Rfc() const { return "rfc2217://127.0.0.1:" + std::to_string(rfcPort); }
    std::string Raw() const { return "tcp://127.0.0.1:" + std::to_string(rawPort); }
    std::filesystem::path DumpDir() {
        const std::filesystem::path dir = scratch.Dir() / "flash";
        std::filesystem::create_directories(dir);
        return dir;
    }

    CScratch scratch;
    std::unique_ptr<CSimulator> sim;
    std::unique_ptr<CSer2net> server;
    std::uint16_t rfcPort = 0;
    std::uint16_t rawPort = 0;
};

// The search sets each speed at the far end, which is how a radio at 9600 is found at all.
TEST_F(Ser2net, Rfc2217SpeedSearchFindsTheRadioAtNineThousandSixHundred) {
    Start({"--speed", "9600", "--serial", "4711"});
    const RunResult r = RunUtil(scratch, {"--port", Rfc(), "--json", "info"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(r.err, HasSubstr("Attempting to contact RM7 on " + Rfc() + " at 19200 bit/s"));
    EXPECT_THAT(r.err, HasSubstr("Connected to RM7 on " + Rfc() + " at 9600 bit/s"));
    EXPECT_THAT(r.out, HasSubstr("4711"));
    // The doctor checks the connection where a device would be looked at.
    const RunResult doctor = RunUtil(scratch, {"--port", Rfc(), "doctor"});
    EXPECT_EQ(doctor.status, 0) << doctor.out << doctor.err;
    EXPECT_THAT(doctor.out,
                HasSubstr("ok   network  Connected to 127.0.0.1:" + std::to_string(rfcPort) + " (RFC 2217"));
    EXPECT_THAT(doctor.out, HasSubstr("ok   radio    A radio answers at 9600 bit/s"));
}

TEST_F(Ser2net, RawTcpWorksAtTheSpeedFixedAtTheFarEnd) {
    Start({"--speed", "9600", "--serial", "4711"}, "9600n81");
    const RunResult r = RunUtil(scratch, {"--port", Raw(), "--speed", "9600", "info"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(r.err, HasSubstr("Connected to RM7 on " + Raw() + " at 9600 bit/s"));
    EXPECT_THAT(r.out, HasSubstr("04711"));
    // No speed setting reaches a raw port: whatever the program assumes, the far end's line stays
    // at its speed and the radio is found the same.
    const RunResult assumed = RunUtil(scratch, {"--port", Raw(), "--speed", "38400", "info"});
    EXPECT_EQ(assumed.status, 0) << assumed.err;
    EXPECT_THAT(assumed.err, HasSubstr("Connected to RM7 on " + Raw() + " at 38400 bit/s"));
}

// Packets full of 255s cross the Telnet stream doubled and reach the flash as they were.
TEST_F(Ser2net, FirmwareLoadsOverRfc2217ReachTheFlashExactly) {
    const auto dump = DumpDir();
    Start({"--mcu", "02.54", "--dsp", "02.54", "--flash-dump", dump.string()});
    const std::vector<std::uint8_t> mcuImage = McuImageBytes(31, "0288");
    const std::vector<std::uint8_t> dsp = DspImageBytes(20000, 8, "0291");
    const auto mcuFile = scratch.Dir() / "fmcu0288.hex";
    const auto dspFile = scratch.Dir() / "fdsp0291.hex";
    WriteHexFile(mcuFile, mcuImage, kMcuLow);
    WriteHexFile(dspFile, dsp, 0);
    const RunResult r =
        RunUtil(scratch, {"--port", Rfc(), "firmware", "send", "--mcu", mcuFile, "--dsp", dspFile}, 240);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "MCU firmware 02.88 loaded and verified\nDSP firmware 02.91 loaded and verified\n");
    EXPECT_EQ(ReadFile(dump / "mcu.bin"), Reconciled(mcuImage));
    EXPECT_EQ(ReadFile(dump / "dsp.bin"), dsp);
}

// The other jobs read and write through the same port: one round each.
TEST_F(Ser2net, JobsWorkThroughTheNetworkPort) {
    Start({"--speed", "19200"});
    struct Case {
        std::vector<std::string> args;
        std::string out;
    };
    const auto config = (scratch.Dir() / "saved.RM7Config").string();
    const Case cases[] = {
        {{"send", "RVM;"}, "RVM02.54;"},
        {{"banner", "set", "REMOTE"}, ""},
        {{"--json", "banner", "get"}, "REMOTE"},
        {{"--json", "clock", "get"}, "clock"},
        {{"config", "save", config}, ""},
        {{"config", "restore", config}, ""},
        {{"terminal", "--mode", "cw", "--send", "CQ"}, ""},
        {{"--no-backup", "calibrate", "--yes"}, "5 watt calibration succeeded"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"-q", "--port", Rfc()};
        args.insert(args.end(), c.args.begin(), c.args.end());
        SCOPED_TRACE(c.args[c.args.size() > 1 ? 1 : 0]);
        const RunResult r = RunUtil(scratch, args, 120);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_THAT(r.out, HasSubstr(c.out));
    }
}

TEST_F(Ser2net, NobodyListeningIsSaidPlainlyAndAtOnce) {
    Start({});
    const std::string nowhere = "rfc2217://127.0.0.1:" + std::to_string(FreeLoopbackPort());
    const RunResult r = RunUtil(scratch, {"--port", nowhere, "info"}, 20);
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("connection to " + nowhere.substr(10) + " refused\n"));
    EXPECT_THAT(r.err, Not(HasSubstr("No such file")));
    EXPECT_THAT(r.err, Not(HasSubstr("rm7util ports")));
    const RunResult doctor = RunUtil(scratch, {"--port", nowhere, "doctor"}, 20);
    EXPECT_EQ(doctor.status, 1);
    EXPECT_THAT(doctor.out, HasSubstr("FAIL network  connection to " + nowhere.substr(10) + " refused."));
    EXPECT_THAT(doctor.out, Not(HasSubstr("radio ")));
}

// ser2net dies in the middle of an MCU load: the load ends at once with the reason and what to
// do, and the next send, through a ser2net started again, finds the boot loader and loads it whole.
TEST_F(Ser2net, ServerKilledMidLoadIsSaidAndTheNextSendFinishes) {
    const auto dump = DumpDir();
    Start({"--latency", "3", "--flash-dump", dump.string()});
    const std::vector<std::uint8_t> image = McuImageBytes(32, "0288");
    const auto file = scratch.Dir() / "fmcu0288.hex";
    WriteHexFile(file, image, kMcuLow);
    {
        CRunningUtil load(scratch, {"--port", Rfc(), "firmware", "send", "--mcu", file.string()});
        ASSERT_TRUE(load.WaitFor("MCU firmware: 25%", 120000)) << load.Err();
        server->Kill();
        const int status = load.Wait(30000);
        ASSERT_TRUE(WIFEXITED(status)) << load.Err();
        EXPECT_EQ(WEXITSTATUS(status), 1);
        EXPECT_THAT(load.Err(), HasSubstr("closed by the far end"));
        EXPECT_THAT(load.Err(), HasSubstr("the radio's boot loader waits for the next send"));
        EXPECT_FALSE(std::filesystem::exists(dump / "mcu.bin")) << "the load was not cut short";
    }
    std::string why;
    ASSERT_TRUE(server->Start(why)) << why;
    const RunResult r = RunUtil(scratch, {"--port", Rfc(), "--timeout", "20", "firmware", "send", "--mcu", file}, 240);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "MCU firmware 02.88 loaded and verified\n");
    EXPECT_THAT(r.err, HasSubstr("RM7 Bootstrap Loader answered at a packet boundary\n"));
    EXPECT_EQ(ReadFile(dump / "mcu.bin"), Reconciled(image));
}

}  // namespace
}  // namespace rm7::test
