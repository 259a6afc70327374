// The three programs answer --help and --version, and refuse a mistake, on a machine without a display.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/pty/pty_support.h"

namespace rm7::test {
namespace {

using ::testing::HasSubstr;

TEST(Programs, HelpAndVersionNeedNoDisplay) {
    CScratch scratch;
    const std::string noDisplay = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM";
    const struct {
        const char* program;
        const char* option;
        const char* says;
    } cases[] = {
        {"rm7-utility", "--version", "RM7 Utility 1."},
        {"rm7-utility", "--help", "--simulate"},
        {"rm7-sim", "--version", "rm7-sim 1."},
        {"rm7util", "--version", "rm7util "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.program) + " " + c.option);
        const RunResult r = RunProgram(scratch, c.program, {c.option}, 30, noDisplay);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_THAT(r.out, HasSubstr(c.says));
    }
}

TEST(Programs, TheDesktopApplicationRefusesAMistakeWithoutADisplay) {
    CScratch scratch;
    const std::string noDisplay = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM";
    const struct {
        std::vector<std::string> args;
        const char* says;
    } cases[] = {
        {{"--prot", "/dev/ttyUSB0"}, "rm7-utility: unknown option \"--prot\".\n"},
        {{"-x"}, "rm7-utility: unknown option \"-x\".\n"},
        // Qt's own options are left to it; only the mistake is named.
        {{"-platform", "offscreen", "--simulate=yes"}, "rm7-utility: Unexpected value after '--simulate'.\n"},
        {{"--port"}, "rm7-utility: Missing value after '--port'.\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        const RunResult r = RunProgram(scratch, "rm7-utility", c.args, 30, noDisplay);
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_THAT(r.err, HasSubstr(c.says));
        EXPECT_THAT(r.err, HasSubstr("Run \"rm7-utility --help\" for the options."));
        EXPECT_EQ(r.out, "");
    }
}

}  // namespace
}  // namespace rm7::test
