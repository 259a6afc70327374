// rm7util clock against rm7-sim over a real pty, both on the host's real clock.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdlib>
#include <ctime>

#include "tests/pty/pty_support.h"

namespace rm7::test {
namespace {

TEST(CliClock, SetBringsASimulatedClockOffByAnHourToTheHostsTime) {
    // 1 h 2 min 5 s off, on the side away from midnight so that the test may run at any hour.
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    const char* offset = utc.tm_hour < 12 ? "3725" : "-3725";
    CScratch scratch;
    CSimulator sim({"--clock-offset", offset});
    ASSERT_FALSE(sim.Device().empty());

    RunResult r = RunUtil(scratch, {"-q", "--port", sim.Device(), "--json", "clock", "get"});
    ASSERT_EQ(r.status, 0) << r.err;
    // Whole seconds read at slightly different moments: within a second of the offset.
    EXPECT_LE(std::abs(nlohmann::json::parse(r.out)["difference"].get<int>() - std::atoi(offset)), 1) << r.out;

    r = RunUtil(scratch, {"-q", "--port", sim.Device(), "clock", "set"});
    ASSERT_EQ(r.status, 0) << r.out << r.err;

    r = RunUtil(scratch, {"-q", "--port", sim.Device(), "--json", "clock", "get"});
    ASSERT_EQ(r.status, 0) << r.err;
    const nlohmann::json after = nlohmann::json::parse(r.out);
    EXPECT_LE(std::abs(after["difference"].get<int>()), 2) << r.out;
    EXPECT_EQ(after["clock"], "UTC");
}

}  // namespace
}  // namespace rm7::test
