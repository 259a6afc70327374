// rm7util's failures to reach a port as a user at a terminal meets them, over real ptys. The
// speed search, identification and send run from the case table (cli_cases_test.cpp).
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/tty.h"
#include "tests/pty/pty_support.h"

namespace rm7::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

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
    };
    const std::string mirror = "file://" + (scratch.Dir() / "no-mirror").string();
    cases.push_back(
        {"a missing firmware mirror",
         {"firmware", "fetch", "--server", mirror, "--folder", (scratch.Dir() / "fw").string()},
         "List the firmware files completed with error 0x00000002: " + mirror + ": No such file or directory\n",
         "",
         1});
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
            EXPECT_THAT(r.err, Not(HasSubstr(foreign))) << r.err;
        }
    }
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

}  // namespace
}  // namespace rm7::test
