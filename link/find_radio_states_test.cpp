#include "link/find_radio_states.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "tests/support/scripted_port.h"

namespace rm7 {
namespace {

using ::testing::ElementsAre;

class CSearchMachine : public CStateHost<CSearchMachine> {
  public:
    static constexpr std::uint32_t kTimerId = 10;
    explicit CSearchMachine(CRadioSession& session)
        : CStateHost(session, kTimerId),
          findSpeed(*this, &FinalState()),
          identify(*this, &FinalState()),
          optionModule(*this, &FinalState()) {}

    CFindSpeedState<CSearchMachine> findSpeed;
    CIdentifyState<CSearchMachine> identify;
    CGetOptionModuleState<CSearchMachine> optionModule;
};

class FindRadioStatesTest : public test::CScriptedMachineTest<CSearchMachine> {
  protected:
    Result RunToEnd(std::uint32_t maxMs = 100000) {
        pump.AdvanceUntil([this] { return machine->IsIdle(); }, maxMs);
        EXPECT_TRUE(machine->IsIdle());
        return machine->GetResult();
    }
};

TEST_F(FindRadioStatesTest, FindSpeedWithAFixedSpeedPollsOnlyThere) {
    model->fixedSerialSpeed.Set(19200);
    ASSERT_TRUE(machine->Start(machine->findSpeed));
    EXPECT_EQ(RunToEnd(), kErrNoResponseAfterReset);
    ASSERT_EQ(port->sent.size(), 5u);
    for (const auto& s : port->sent) {
        EXPECT_EQ(s.text, ";");
        EXPECT_EQ(s.speed, 19200u);
    }
    EXPECT_EQ(session->Port().Speed(), 19200u);
}

TEST_F(FindRadioStatesTest, AutomaticSpeedSearchTriesFourSpeedsAndFindsTheRadio) {
    ASSERT_TRUE(machine->Start(machine->findSpeed));
    EXPECT_EQ(RunToEnd(), kErrNoResponseAfterReset);
    std::vector<std::uint32_t> speeds;
    for (const auto& s : port->sent) {
        if (speeds.empty() || speeds.back() != s.speed) {
            speeds.push_back(s.speed);
        }
    }
    EXPECT_THAT(speeds, ElementsAre(38400u, 19200u, 9600u, 4800u));
    EXPECT_EQ(port->sent.size(), 20u);
    EXPECT_EQ(port->sent.back().tick, 1900u);

    port->sent.clear();
    port->script = [](const std::string&, std::uint32_t speed) { return speed == 9600 ? ";" : ""; };
    ASSERT_TRUE(machine->Start(machine->findSpeed));
    EXPECT_EQ(RunToEnd(), 0u);
    EXPECT_EQ(session->Port().Speed(), 9600u);
    EXPECT_EQ(notifier.shown.back(), "Connected to RM7 on /dev/ttyTEST at 9600 bit/s");
}

// A job's look for a radio the contact has found at this speed is a check: it is logged (as a
// contact) only when the radio does not answer its first poll.
TEST_F(FindRadioStatesTest, SpeedCheckOfAKnownRadioIsLoggedOnlyWhenItHasToSearch) {
    struct Case {
        const char* name;
        int firmwareStatus;
        bool answersAtOnce;
        bool logged;
    };
    const Case cases[] = {
        {"known radio answers at once", kFirmwareRunning, true, false},
        {"known radio answers the second poll", kFirmwareRunning, false, true},
        {"no radio known", kFirmwareNone, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        model->firmwareStatus.Set(static_cast<FirmwareStatusEnum>(c.firmwareStatus));
        notifier.shown.clear();
        port->sent.clear();
        int polls = 0;
        port->script = [&polls, &c](const std::string&, std::uint32_t) {
            return (++polls > 1 || c.answersAtOnce) ? ";" : "";
        };
        ASSERT_TRUE(machine->Start(machine->findSpeed));
        EXPECT_EQ(RunToEnd(), 0u);
        const bool attempted = std::count(notifier.shown.begin(), notifier.shown.end(),
                                          "Attempting to contact RM7 on /dev/ttyTEST at 38400 bit/s") == 1;
        const bool connected = std::count(notifier.shown.begin(), notifier.shown.end(),
                                          "Connected to RM7 on /dev/ttyTEST at 38400 bit/s") == 1;
        EXPECT_EQ(attempted, c.logged);
        EXPECT_EQ(connected, c.logged);
    }
}

TEST_F(FindRadioStatesTest, IdentifyTakesTheFirstMatchingRow) {
    struct Case {
        const char* answer;
        TarnwellDevice kind;
        FirmwareStatusEnum status;
        Result result;
    };
    const Case cases[] = {
        {"IRM7 R5A;", kDeviceRM7, kFirmwareBootLoader, 0},
        {"I;", kDeviceNone, kFirmwareBootLoader, 0},
        {"IXYZ;", kDeviceNone, kFirmwareNone, 0},
        {"ISV2;", kDeviceNone, kFirmwareRunning, kErrUnexpectedDevice},
        {"", kDeviceNone, kFirmwareNone, 0},  // no answer at all
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        std::string answer = c.answer;
        port->script = [answer](const std::string&, std::uint32_t) { return answer; };
        ASSERT_TRUE(machine->Start(machine->identify));
        EXPECT_EQ(RunToEnd(), c.result);
        EXPECT_EQ(model->deviceKind.Get(), c.kind);
        EXPECT_EQ(machine->FirmwareStatus(), c.status);
    }
}

TEST_F(FindRadioStatesTest, OptionModulesDecideTheDevice) {
    using S = CGetOptionModuleState<CSearchMachine>;
    EXPECT_EQ(S::DeviceFromOptionModules("OM0123456789AB2;"), kDeviceRM7);
    EXPECT_EQ(S::DeviceFromOptionModules("OM0123456789AB1;"), kDeviceRM6);
    EXPECT_EQ(S::DeviceFromOptionModules("OM0123456789AB-;"), kDeviceR5);
    EXPECT_EQ(S::DeviceFromOptionModules("OM0123456789RBX;"), kDeviceR5);
    EXPECT_EQ(S::DeviceFromOptionModules("OM0123456789AB7;"), kDeviceNone);
    EXPECT_EQ(S::DeviceFromOptionModules("OM0123456789R;"), kDeviceR5);
    EXPECT_EQ(S::DeviceFromOptionModules("OM01234567;"), kDeviceNone);
}

}  // namespace
}  // namespace rm7
