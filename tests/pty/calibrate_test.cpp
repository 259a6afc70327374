// rm7util calibrate against rm7-sim over a real pty: however the run ends, the simulated radio
// ends in receive with every setting as it started (its --state file read before and after).
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <thread>

#include "tests/pty/pty_support.h"

namespace rm7::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

// The settings lines of a state file, without what a run is expected to change.
std::string Settings(const std::string& state) {
    return state.substr(0, state.find("transmitting="));
}

// Waits, up to limitMs, for the state file to hold text; the file is looked at every few
// milliseconds rather than in a busy loop that would take a core from the programs under test.
bool WaitForState(const std::filesystem::path& file, const std::string& text, int limitMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (std::chrono::steady_clock::now() < end) {
        if (ReadAll(file).find(text) != std::string::npos) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

// The number after "carriers=" in a state file; -1 when there is none.
int Carriers(const std::string& state) {
    const std::size_t at = state.find("carriers=");
    return at == std::string::npos ? -1 : std::atoi(state.c_str() + at + 9);
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

// However a run ends by itself, the radio ends in receive with every setting as it started.
TEST_F(CalibrateOverPty, ARunPutsEverythingBackWhetherItSucceedsOrFails) {
    struct Case {
        const char* name;
        std::vector<std::string> simArgs;  // besides the state file
        bool json;                         // --json: the summary and bands read from it
        int status;
        std::vector<std::string> err;  // lines standard error holds
        const char* lastSummary;       // the summary's last line (--json)
        std::size_t bands;             // bands calibrated (--json)
        const char* ending;            // the state's last lines
    };
    const Case cases[] = {
        {"full run", {}, true, 0, {}, "5 watt calibration succeeded", 11, "transmitting=0\ncarriers=23\n"},
        {"high SWR on band 1",
         {"--faults", "swr=1"},
         false,
         1,
         {"SWR 3.2-1 is too high for calibration", "rm7util: calibrate: SWR too high to continue calibration"},
         "5 watt calibration failed",
         0,
         "transmitting=0\ncarriers=3\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(state);
        std::vector<std::string> simArgs = {"--state", state.string()};
        simArgs.insert(simArgs.end(), c.simArgs.begin(), c.simArgs.end());
        CSimulator sim(simArgs);
        const std::string before = StartState(sim);
        std::vector<std::string> args = {"--port", sim.Device(), "calibrate", "--yes"};
        if (c.json) {
            args.insert(args.begin(), "--json");
        }
        const RunResult r = RunUtil(scratch, args, 240);
        ASSERT_EQ(r.status, c.status) << r.err;
        for (const std::string& line : c.err) {
            EXPECT_THAT(r.err, HasSubstr(line));
        }
        if (c.json) {
            const nlohmann::json j = nlohmann::json::parse(r.out);
            EXPECT_EQ(j["summary"].back(), c.lastSummary) << r.out;
            EXPECT_EQ(j["bands"].size(), c.bands) << r.out;
        } else {
            EXPECT_THAT(r.out, HasSubstr(std::string(c.lastSummary) + "\n"));
        }
        const std::string after = EndState(sim);
        EXPECT_EQ(Settings(after), Settings(before));
        EXPECT_THAT(after, HasSubstr(c.ending));
    }
}

// One damaged answer to each query the run saves is asked again, never taken as the user's value
// (a band answer "BN0F;" was once read as band 0 and the radio left on the last band).
TEST_F(CalibrateOverPty, DamagedAnswersAreAskedAgainAndTheSettingsStillComeBack) {
    CSimulator sim(
        {"--state", state.string(), "--faults", "garble=BN,garble=PC,garble=AN,garble=FA,garble=TQ:3,swr=1"});
    const std::string before = StartState(sim);
    const RunResult r = RunUtil(scratch, {"--port", sim.Device(), "calibrate", "--yes"}, 120);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_THAT(r.err, HasSubstr("rm7util: calibrate: SWR too high to continue calibration"));  // nothing left behind
    EXPECT_THAT(r.out, ::testing::Not(HasSubstr("was not put back")));
    const std::string after = EndState(sim);
    EXPECT_EQ(Settings(after), Settings(before));
    EXPECT_THAT(after, HasSubstr("transmitting=0\ncarriers=3\n"));
}

// Ctrl-C at a terminal goes to the whole foreground process group. With --simulate the
// simulated radio is rm7util's child: it must not get the signal too, or there is no radio left
// to put back. Cases: the radio on a port of its own, and the radio rm7util started.
TEST_F(CalibrateOverPty, CtrlCDuringTheCarrierStopsItAndRestores) {
    struct Case {
        const char* name;
        bool simulate;
    };
    for (const Case c : {Case{"radio on its own port", false}, Case{"--simulate", true}}) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(state);
        std::optional<CSimulator> sim;
        std::vector<std::string> args;
        if (c.simulate) {
            args = {"--simulate", "--sim-args=--state " + state.string(), "calibrate", "--yes"};
        } else {
            sim.emplace(std::vector<std::string>{"--state", state.string()});
            ASSERT_FALSE(sim->Device().empty());
            args = {"--port", sim->Device(), "calibrate", "--yes"};
        }
        CRunningUtil util(scratch, args);
        ASSERT_TRUE(WaitForState(state, "carriers=0", 30000)) << util.Err();
        const std::string before = ReadAll(state);
        ASSERT_TRUE(WaitForState(state, "transmitting=1\n", 60000)) << util.Err();
        // The run may have moved on to a later carrier by the time the signal is handled on a
        // busy machine: it may finish the one it is in, but starts no other.
        const int keyed = Carriers(ReadAll(state));
        util.SignalGroup(SIGINT);
        const int status = util.Wait(60000);
        ASSERT_TRUE(WIFEXITED(status)) << util.Err();
        EXPECT_EQ(WEXITSTATUS(status), 130) << util.Err();  // stopped, as a signal ends a program
        EXPECT_THAT(util.Err(), HasSubstr("Stopping: the radio is put back to receive and to its settings first\n"));
        EXPECT_THAT(util.Err(), Not(HasSubstr("went away"))) << "the radio was signalled too";
        EXPECT_THAT(util.Out(), HasSubstr("5 watt calibration failed\n"));
        // The simulated radio ends with rm7util and writes its last state as it goes.
        if (sim) {
            sim->Stop();
        } else {
            ASSERT_TRUE(WaitForState(state, "transmitting=0\n", 10000));
        }
        const std::string after = ReadAll(state);
        EXPECT_EQ(Settings(after), Settings(before));
        EXPECT_THAT(after, HasSubstr("transmitting=0\n"));
        EXPECT_GE(Carriers(after), keyed);
        EXPECT_LE(Carriers(after), keyed + 1);
    }
}

}  // namespace
}  // namespace rm7::test
