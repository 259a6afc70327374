// The three programs answer --help and --version on a machine without a display.
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

}  // namespace
}  // namespace rm7::test
