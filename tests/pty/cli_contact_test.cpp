// rm7util against rm7-sim over a real pty: the speed search, identification and failures
// as a user at a terminal sees them.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>
#include <nlohmann/json.hpp>

#include <fstream>

#include "platform/tty.h"
#include "tests/pty/pty_support.h"

namespace rm7::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

TEST(CliContact, FindsTheRadioAtEverySpeedWithAutomaticSearch) {
    for (const char* speed : {"38400", "19200", "9600", "4800"}) {
        SCOPED_TRACE(speed);
        CScratch scratch;
        CSimulator sim({"--speed", speed, "--serial", "300", "--mcu", "02.88", "--dsp", "10.00"});
        ASSERT_FALSE(sim.Device().empty());
        const RunResult r = RunUtil(scratch, {"--port", sim.Device(), "info", "--json"});
        ASSERT_EQ(r.status, 0) << r.err;
        const auto json = nlohmann::json::parse(r.out);
        EXPECT_EQ(json["device"], "RM7");
        EXPECT_EQ(json["firmware_status"], 2);
        EXPECT_EQ(json["mcu_version"], "02.88");
        EXPECT_EQ(json["dsp_version"], "10.00");
        EXPECT_EQ(json["serial_number"], 300);
        EXPECT_EQ(json["port"], sim.Device());
        EXPECT_EQ(json["speed"], std::stoi(speed));
        EXPECT_THAT(r.err, HasSubstr(std::string("Connected to RM7 on ") + sim.Device() + " at " + speed));
    }
}

// A radio left transmitting (a program killed with its carrier keyed) is said to be so.
TEST(CliContact, InfoSaysWhenTheRadioIsTransmitting) {
    struct Case {
        std::vector<std::string> simArgs;
        nlohmann::json transmitting;
        const char* line;
    } const cases[] = {
        {{}, false, "Transmitting:    no (receive)"},
        {{"--transmitting"}, true, "Transmitting:    YES. Switch it to receive: rm7util send \"RX;\"\n"},
        // TQ1 damaged into TQB is asked again, not taken for receive.
        {{"--transmitting", "--faults", "garble=TQ"}, true, "Transmitting:    YES."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        CScratch scratch;
        CSimulator sim(c.simArgs);
        ASSERT_FALSE(sim.Device().empty());
        const RunResult json = RunUtil(scratch, {"--port", sim.Device(), "info", "--json"});
        ASSERT_EQ(json.status, 0) << json.err;
        EXPECT_EQ(nlohmann::json::parse(json.out)["transmitting"], c.transmitting);
        EXPECT_EQ(json.err.find("the radio is transmitting. Switch it to receive") != std::string::npos,
                  c.transmitting == true);
        const RunResult text = RunUtil(scratch, {"--port", sim.Device(), "info"});
        ASSERT_EQ(text.status, 0) << text.err;
        EXPECT_THAT(text.out, HasSubstr(c.line));
        EXPECT_THAT(text.err, Not(HasSubstr("transmitting")));  // said once, on the info line
    }
}

TEST(CliContact, FixedSpeedTheRadioDoesNotUseEndsAtTheTimeOut) {
    CScratch scratch;
    CSimulator sim({"--speed", "38400"});
    const RunResult r = RunUtil(scratch, {"info", "--port", sim.Device(), "--speed", "9600", "--timeout", "2"});
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("Error code 0xE2000045: No radio answered on " + sim.Device() + " at 9600 bit/s"));
    EXPECT_TRUE(r.out.empty());
}

TEST(CliContact, BootLoaderIsStatusOneAndSuccess) {
    CScratch scratch;
    CSimulator sim({"--boot-loader"});
    const RunResult r = RunUtil(scratch, {"--json", "--port", sim.Device(), "info"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(nlohmann::json::parse(r.out)["firmware_status"], 1);
}

TEST(CliContact, AnotherDeviceIsRefused) {
    CScratch scratch;
    CSimulator sim({"--device", "R5"});
    const RunResult r = RunUtil(scratch, {"--port", sim.Device(), "info"});
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("Unexpected Device: Connected device does not appear to be an Tarnwell RM7"));
    EXPECT_THAT(r.err, HasSubstr("Error code 0xE200004E"));
}

// Each failure names the path, says in the system's words what is wrong with it and where to
// look next; none speaks of a reset that never happened.
TEST(CliContact, PortFailuresNameThePathAndGiveTheHint) {
    CScratch scratch;
    const std::string missing = (scratch.Dir() / "ttyUSB9").string();
    const std::string folder = scratch.Dir().string();
    const std::string file = (scratch.Dir() / "plain").string();
    std::ofstream(file) << "not a port\n";
    // A pty nobody reads: the port opens and stays silent.
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const std::string silent = ptsname(master);
    const struct {
        std::string port;
        std::string says;
    } cases[] = {
        {missing, "Error code 0x00000002: The system cannot find the file specified.\n" + missing +
                      ": No such file or directory\n"},
        {folder, folder + ": a directory, not a serial port\n"},
        {file, file + ": a regular file, not a serial port\n"},
        {silent, "No radio answered on " + silent +
                     " at 38400 to 4800 bit/s: is it switched on, is the cable in, is this the right port?\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.port);
        const RunResult r = RunUtil(scratch, {"--port", c.port, "--timeout", "1", "info"});
        EXPECT_EQ(r.status, 1);
        EXPECT_THAT(r.err, HasSubstr(c.says));
        EXPECT_THAT(r.err, HasSubstr("\"rm7util ports\" lists this machine's serial devices."));
        EXPECT_THAT(r.err, Not(HasSubstr("after reset")));
        EXPECT_TRUE(r.out.empty());
    }
    close(master);

    const RunResult r = RunUtil(scratch, {"info"});
    EXPECT_EQ(r.status, 2);
    EXPECT_THAT(r.err, HasSubstr("Error code 0xE200000F: Serial port name is missing\nGive one with --port DEV"));
}

TEST(CliContact, PortHeldByAnotherProgramSaysWhoHoldsIt) {
    CScratch scratch;
    CSimulator sim({});
    CTtyDevice holder;
    ASSERT_EQ(holder.Open(sim.Device()), 0u);
    const RunResult r = RunUtil(scratch, {"--port", sim.Device(), "info"});
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err,
                HasSubstr("Serial port \"" + sim.Device() + "\" access denied; may be in use by another program"));
    EXPECT_THAT(r.err, HasSubstr("is in use by "));
    EXPECT_THAT(r.err, HasSubstr("(pid " + std::to_string(::getpid()) + ")"));
    EXPECT_THAT(r.err, HasSubstr("Error code 0x00000005: Access is denied."));
}

TEST(CliContact, SendPrintsTheAnswerInPrintableForm) {
    CScratch scratch;
    CSimulator sim({"--mcu", "03.10"});
    const RunResult r = RunUtil(scratch, {"--port", sim.Device(), "send", "RVM;", "--wait", "300"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "RVM03.10;\n");
}

TEST(CliContact, SimulateOptionRunsItsOwnRadio) {
    CScratch scratch;
    RunResult r = RunUtil(scratch, {"--simulate", "--sim-args=--serial 4242", "info", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(nlohmann::json::parse(r.out)["serial_number"], 4242);
    EXPECT_THAT(r.err, HasSubstr("Simulated radio on /dev/"));
    r = RunUtil(scratch, {"--simulate", "-q", "info"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
}

}  // namespace
}  // namespace rm7::test
