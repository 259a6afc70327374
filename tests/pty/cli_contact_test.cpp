// rm7util against rm7-sim over a real pty: the speed search, identification and failures
// as a user at a terminal sees them.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>
#include <nlohmann/json.hpp>

#include <filesystem>
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

std::size_t Occurrences(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) {
        ++n;
    }
    return n;
}

// Failures as a person meets them before any job: each is said once, as "rm7util: PATH: why"
// in the system's own words, with at most one hint line, and in no other platform's words.
TEST(CliContact, FailuresAsAPersonMeetsThemAreSaidOnceInTheSystemsWords) {
    CScratch scratch;
    const std::string missing = (scratch.Dir() / "ttyUSB9").string();
    const std::string folder = scratch.Dir().string();
    const std::string file = (scratch.Dir() / "plain").string();
    std::ofstream(file) << "not a port\n";
    const std::string missingConfig = (scratch.Dir() / "missing.RM7Config").string();
    const std::string readOnly = (scratch.Dir() / "read-only").string();
    std::filesystem::create_directory(readOnly);
    ::chmod(readOnly.c_str(), 0555);
    const bool root = ::geteuid() == 0;  // root writes into a read-only folder all the same

    CSimulator sim({"--speed", "38400"});
    ASSERT_FALSE(sim.Device().empty());
    // A second rm7util holds the port: it looks for the radio at a speed the radio does not use.
    CScratch holderScratch;
    CRunningUtil holder(holderScratch, {"--port", sim.Device(), "--speed", "9600", "--timeout", "120", "info"});
    ASSERT_TRUE(holder.WaitFor("Attempting to contact", 30000)) << holder.Err();

    constexpr const char* kPorts = "\"rm7util ports\" lists this machine's serial devices.";
    struct Case {
        const char* name;
        std::vector<std::string> args;
        std::string says;  // the failure line
        std::string hint;  // the hint line, or empty for none
        int status;
    };
    std::vector<Case> cases = {
        {"missing device",
         {"--port", missing, "info"},
         "rm7util: " + missing + ": No such file or directory\n",
         std::string("hint: ") + kPorts + "\n",
         1},
        {"a directory as the port",
         {"--port", folder, "info"},
         "rm7util: " + folder + ": Is a directory\n",
         "hint: " + folder + " is a folder, not a serial device: " + kPorts + "\n",
         1},
        {"a regular file as the port",
         {"--port", file, "info"},
         "rm7util: " + file + ": Inappropriate ioctl for device\n",
         "hint: " + file + " is a regular file, not a serial device: " + kPorts + "\n",
         1},
        {"a port held by a second rm7util",
         {"--port", sim.Device(), "info"},
         "rm7util: " + sim.Device() + ": Device or resource busy: in use by rm7util (pid " +
             std::to_string(holder.Pid()) + ")\n",
         std::string("hint: Close that program and try again, or choose another port: ") + kPorts + "\n",
         1},
        {"no port at all",
         {"info"},
         "rm7util: no port: Serial port name is missing\n",
         "hint: Give one with --port DEV or RM7_PORT",
         2},
        {"a missing input file",
         {"config", "verify", missingConfig},
         "rm7util: " + missingConfig + ": No such file or directory\n",
         "",
         1},
        {"a folder that is a file",
         {"--simulate", "config", "save", file + "/x.RM7Config"},
         "rm7util: " + file + ": Not a directory\n",
         "",
         1},
        {"a missing folder",
         {"--simulate", "config", "save", missing + "/x.RM7Config"},
         "rm7util: " + missing + ": No such file or directory\n",
         "",
         1},
    };
    const std::string mirror = "file://" + (scratch.Dir() / "no-mirror").string();
    cases.push_back(
        {"a missing firmware mirror",
         {"firmware", "fetch", "--server", mirror, "--folder", (scratch.Dir() / "fw").string()},
         "List the firmware files completed with error 0x00000002: " + mirror + ": No such file or directory\n",
         "",
         1});
    if (!root) {
        cases.push_back({"a read-only folder",
                         {"--simulate", "config", "save", readOnly + "/x.RM7Config"},
                         "rm7util: " + readOnly + ": Permission denied\n",
                         "",
                         1});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const RunResult r = RunUtil(scratch, c.args);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_TRUE(r.out.empty()) << r.out;
        EXPECT_EQ(Occurrences(r.err, c.says), 1u) << r.err;
        // Its words, once: not a second time by another layer.
        const std::string why = c.says.substr(c.says.rfind(": ") + 2);
        EXPECT_EQ(Occurrences(r.err, why), 1u) << r.err;
        if (c.hint.empty()) {
            EXPECT_EQ(Occurrences(r.err, "hint: "), 0u) << r.err;
        } else {
            EXPECT_EQ(Occurrences(r.err, "hint: "), 1u) << r.err;
            EXPECT_THAT(r.err, HasSubstr(c.says + c.hint)) << "the hint follows the failure";
        }
        for (const char* foreign : {"Error code", "The system cannot", "Access is denied", "Permission denied",
                                    "Incorrect function", "CreateFile", "ReadFile", "access denied", "after reset"}) {
            if (std::string(c.name) != "a read-only folder" || std::string(foreign) != "Permission denied") {
                EXPECT_THAT(r.err, Not(HasSubstr(foreign))) << r.err;
            }
        }
    }
    // Nothing was written where the save could not write.
    EXPECT_FALSE(std::filesystem::exists(readOnly + "/x.RM7Config"));
    ::chmod(readOnly.c_str(), 0755);

    // A port that opens but where nobody answers is the radio's failure, said once with its hint.
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const std::string silent = ptsname(master);
    const RunResult r = RunUtil(scratch, {"--port", silent, "--timeout", "1", "info"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(Occurrences(r.err, "No radio answered on " + silent +
                                     " at 38400 to 4800 bit/s: is it switched on, is the cable in, is this the "
                                     "right port?\n"),
              1u)
        << r.err;
    EXPECT_THAT(r.err, HasSubstr(kPorts));
    EXPECT_THAT(r.err, Not(HasSubstr("after reset")));
    close(master);
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
