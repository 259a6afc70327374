#include "link/basic_states.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/support/scripted_port.h"

namespace rm7 {
namespace {

using ::testing::ElementsAre;

class CBasicMachine : public CStateHost<CBasicMachine> {
  public:
    static constexpr std::uint32_t kTimerId = 10;
    explicit CBasicMachine(CRadioSession& session)
        : CStateHost(session, kTimerId),
          getR5(*this, &restoreR5),
          restoreR5(*this, &FinalState()),
          version(*this, "Version", &FinalState(), 0xE200000D, "RVM;", 500) {}
    std::string& SavedR5() { return savedR5; }

    std::string savedR5;
    CGetR5State<CBasicMachine> getR5;
    CRestoreR5State<CBasicMachine> restoreR5;
    CCommandResponseRetryState<CBasicMachine> version;
};

class BasicStatesTest : public test::CScriptedMachineTest<CBasicMachine> {
  protected:
    Result RunToEnd(std::uint32_t maxMs = 100000) {
        pump.AdvanceUntil([this] { return machine->IsIdle(); }, maxMs);
        EXPECT_TRUE(machine->IsIdle());
        return machine->GetResult();
    }
};

TEST_F(BasicStatesTest, RetryStateSendsEightTimesOneTimeOutApartThenFails) {
    ASSERT_TRUE(machine->Start(machine->version));
    EXPECT_EQ(RunToEnd(), 0xE200000Du);
    ASSERT_EQ(port->sent.size(), 8u);
    for (std::size_t i = 0; i < port->sent.size(); ++i) {
        EXPECT_EQ(port->sent[i].text, "RVM;");
        EXPECT_EQ(port->sent[i].tick, 500u * i);
    }
    EXPECT_EQ(pump.ArmedTimers(), 0u);
}

TEST_F(BasicStatesTest, R5ModeIsSavedAndPutBack) {
    port->script = [](const std::string& w, std::uint32_t) -> std::string {
        if (w == "R5;") {
            return "R51;";
        }
        return w == "R51;R5;" ? "R51;" : "";
    };
    ASSERT_TRUE(machine->Start(machine->getR5));
    EXPECT_EQ(RunToEnd(), 0u);
    EXPECT_EQ(machine->savedR5, "R51;");
    EXPECT_THAT(port->SentTexts(), ElementsAre("R5;", "R51;R5;"));

    port->sent.clear();
    machine->savedR5.clear();
    ASSERT_TRUE(machine->Start(machine->restoreR5));
    EXPECT_EQ(RunToEnd(), 0u);
    EXPECT_TRUE(port->sent.empty());
}

}  // namespace
}  // namespace rm7
