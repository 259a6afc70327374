// rm7util against rm7-sim over a real pty: the speed search, identification and failures
// as a user at a terminal sees them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "platform/tty.h"
#include "tests/pty/pty_support.h"

namespace rm7::test {
namespace {

using ::testing::HasSubstr;

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

TEST(CliContact, FixedSpeedTheRadioDoesNotUseEndsAtTheTimeOut) {
    CScratch scratch;
    CSimulator sim({"--speed", "38400"});
    const RunResult r = RunUtil(scratch, {"info", "--port", sim.Device(), "--speed", "9600", "--timeout", "2"});
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("Error code 0xE2000045: No response after reset"));
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

TEST(CliContact, MissingDeviceAndMissingPortAreClearErrors) {
    CScratch scratch;
    RunResult r = RunUtil(scratch, {"--port", "/dev/does-not-exist", "info"});
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("Unable to open serial port \"/dev/does-not-exist\". Error 0x00000002"));
    r = RunUtil(scratch, {"info"});
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("Error code 0xE200000F: Serial port name is missing"));
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
    const RunResult r = RunUtil(scratch, {"--simulate", "--sim-args=--serial 4242", "info", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(nlohmann::json::parse(r.out)["serial_number"], 4242);
}

}  // namespace
}  // namespace rm7::test
