// rm7util calibrate against rm7-sim over a real pty: however the run ends, the simulated radio
// ends in receive with every setting as it started (its --state file read before and after).
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <thread>

#include "tests/pty/pty_support.h"

namespace rm7::test {
namespace {

using ::testing::HasSubstr;

// The settings lines of a state file, without what a run is expected to change.
std::string Settings(const std::string& state) {
    return state.substr(0, state.find("transmitting="));
}

// Waits, up to limitMs, for the state file to hold text.
bool WaitForState(const std::filesystem::path& file, const std::string& text, int limitMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (std::chrono::steady_clock::now() < end) {
        if (ReadAll(file).find(text) != std::string::npos) {
            return true;
        }
        std::this_thread::yield();
    }
    return false;
}

class CalibrateOverPty : public ::testing::Test {
  protected:
    // The simulator's first state, once it has written it.
    std::string StartState(CSimulator& sim) {
        EXPECT_FALSE(sim.Device().empty());
        EXPECT_TRUE(WaitForState(state, "carriers=0", 10000));
        return ReadAll(state);
    }
    // The simulator's last state, written as it stops.
    std::string EndState(CSimulator& sim) {
        sim.Stop();
        return ReadAll(state);
    }

    CScratch scratch;
    std::filesystem::path state = scratch.Dir() / "radio.state";
};

TEST_F(CalibrateOverPty, FullRunKeysElevenBandsAndPutsEverythingBack) {
    CSimulator sim({"--state", state.string()});
    const std::string before = StartState(sim);
    const RunResult r = RunUtil(scratch, {"--port", sim.Device(), "--json", "calibrate", "--yes"}, 240);
    ASSERT_EQ(r.status, 0) << r.err;
    const nlohmann::json j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["bands"].size(), 11u);
    EXPECT_EQ(j["summary"].back(), "5 watt calibration succeeded");
    const std::string after = EndState(sim);
    EXPECT_EQ(Settings(after), Settings(before));
    EXPECT_THAT(after, HasSubstr("transmitting=0\ncarriers=23\n"));
}

TEST_F(CalibrateOverPty, FailingBandEndsInReceiveWithSettingsBack) {
    CSimulator sim({"--state", state.string(), "--faults", "swr=1"});
    const std::string before = StartState(sim);
    const RunResult r = RunUtil(scratch, {"--port", sim.Device(), "calibrate", "--yes"}, 120);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_THAT(r.err, HasSubstr("SWR 3.2-1 is too high for calibration"));
    EXPECT_THAT(r.err, HasSubstr("Error code 0xE20000C3"));
    EXPECT_THAT(r.out, HasSubstr("5 watt calibration failed\n"));
    const std::string after = EndState(sim);
    EXPECT_EQ(Settings(after), Settings(before));
    EXPECT_THAT(after, HasSubstr("transmitting=0\ncarriers=3\n"));
}

// One damaged answer to each query the run saves is asked again, never taken as the user's value
// (a band answer "BN0F;" was once read as band 0 and the radio left on the last band).
TEST_F(CalibrateOverPty, DamagedAnswersAreAskedAgainAndTheSettingsStillComeBack) {
    CSimulator sim(
        {"--state", state.string(), "--faults", "garble=BN,garble=PC,garble=AN,garble=FA,garble=TQ:3,swr=1"});
    const std::string before = StartState(sim);
    const RunResult r = RunUtil(scratch, {"--port", sim.Device(), "calibrate", "--yes"}, 120);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_THAT(r.err, HasSubstr("Error code 0xE20000C3"));  // the SWR, and nothing left behind
    EXPECT_THAT(r.out, ::testing::Not(HasSubstr("was not put back")));
    const std::string after = EndState(sim);
    EXPECT_EQ(Settings(after), Settings(before));
    EXPECT_THAT(after, HasSubstr("transmitting=0\ncarriers=3\n"));
}

TEST_F(CalibrateOverPty, SigintDuringTheCarrierStopsItAndRestores) {
    CSimulator sim({"--state", state.string()});
    const std::string before = StartState(sim);
    CRunningUtil util(scratch, {"--port", sim.Device(), "calibrate", "--yes"});
    ASSERT_TRUE(WaitForState(state, "transmitting=1\ncarriers=1\n", 30000)) << util.Err();
    util.Signal(SIGINT);
    const int status = util.Wait(60000);
    ASSERT_TRUE(WIFEXITED(status)) << util.Err();
    EXPECT_EQ(WEXITSTATUS(status), 2) << util.Err();
    EXPECT_THAT(util.Err(), HasSubstr("Stopping: the radio is put back to receive and to its settings first\n"));
    EXPECT_THAT(util.Out(), HasSubstr("5 watt calibration failed\n"));
    const std::string after = EndState(sim);
    EXPECT_EQ(Settings(after), Settings(before));
    EXPECT_THAT(after, HasSubstr("transmitting=0\ncarriers=1\n"));
}

}  // namespace
}  // namespace rm7::test
