// rm7util clock against rm7-sim over a real pty, both on the host's real clock.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <thread>

#include "tests/pty/pty_support.h"

namespace rm7::test {
namespace {

// The host's time of day now, in seconds since 00:00 UTC.
int SecondOfDay() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    return utc.tm_hour * 3600 + utc.tm_min * 60 + utc.tm_sec;
}

TEST(CliClock, SetBringsASimulatedClockOffByAnHourToTheHostsTime) {
    // The three runs take well under the 3 minutes each may use; the host's midnight must not
    // fall among them, or the two clocks end up a day apart. Close to it, wait for it to pass.
    constexpr int kDay = 24 * 3600;
    constexpr int kRunsMaySpanSec = 4 * 60;
    if (SecondOfDay() > kDay - kRunsMaySpanSec) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kRunsMaySpanSec + 60);
        while (SecondOfDay() > kDay - kRunsMaySpanSec && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        ASSERT_LT(SecondOfDay(), kDay - kRunsMaySpanSec) << "the host's clock did not pass midnight";
    }
    // 1 h 2 min 5 s off, on the side away from midnight so that the test may run at any hour.
    const char* offset = SecondOfDay() < kDay / 2 ? "3725" : "-3725";
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
