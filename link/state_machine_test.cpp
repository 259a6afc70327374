#include "link/state_machine.h"
#include "link/radio_session.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "link/basic_states.h"
#include "link/contact.h"
#include "link/job_run.h"
#include "platform/result_codes.h"
#include "tests/support/scripted_port.h"

namespace rm7 {
namespace {

using test::CRecordingNotifier;
using test::CRecordingWindow;
using test::CScriptedPort;
using ::testing::ElementsAre;

// Two queries in a row: "AA;" (answer required) then "BB;" (retried).
class CTwoStepMachine : public CStateHost<CTwoStepMachine> {
  public:
    static constexpr std::uint32_t kTimerId = 10;
    explicit CTwoStepMachine(CRadioSession& session)
        : CStateHost(session, kTimerId),
          first(*this, "First", &second, 0xE2000111, "AA;", 300),
          second(*this, "Second", &FinalState(), 0xE2000222, "BB;", 200) {}
    CCommandResponseState<CTwoStepMachine> first;
    CCommandResponseRetryState<CTwoStepMachine> second;
};

using FrameworkTest = test::CScriptedMachineTest<CTwoStepMachine>;

TEST_F(FrameworkTest, AnswersMoveTheMachineToCompletion) {
    port->script = [](const std::string& w, std::uint32_t) { return w == "AA;" ? "AA1;" : "BB2;"; };
    ASSERT_TRUE(machine->Start(machine->first));
    pump.RunUntilIdle();
    EXPECT_TRUE(machine->IsIdle());
    EXPECT_THAT(port->SentTexts(), ElementsAre("AA;", "BB;"));
    EXPECT_THAT(window.completions, ElementsAre(0u));
    EXPECT_EQ(pump.ArmedTimers(), 0u);
}

// The wait after a speed change runs on the pump's clock: the command goes out when the port has
// settled, at the new speed, and what arrived meanwhile is not taken for its answer.
TEST_F(FrameworkTest, ASendRightAfterASpeedChangeGoesOutWhenThePortHasSettled) {
    port->settleMs = 50;
    session->SetSerialSpeed(9600);
    ASSERT_TRUE(machine->Start(machine->first));
    EXPECT_TRUE(port->sent.empty());
    port->Inject("AA;");  // noise while the adapter changes speed
    pump.AdvanceBy(49);
    EXPECT_TRUE(port->sent.empty());
    EXPECT_EQ(&machine->CurrentState(), &machine->first);
    pump.AdvanceBy(1);
    ASSERT_EQ(port->sent.size(), 1u);
    EXPECT_EQ(port->sent[0].tick, 50u);
    EXPECT_EQ(port->sent[0].speed, 9600u);
    // The answer's wait starts with the write, not with the state.
    port->Inject("AA;");
    pump.RunUntilIdle();
    EXPECT_EQ(&machine->CurrentState(), &machine->second);
}

TEST_F(FrameworkTest, StartWhileBusyLeavesTheRunningJobAlone) {
    ASSERT_TRUE(machine->Start(machine->first));
    SetLastError(0);
    EXPECT_FALSE(machine->Start(machine->second));
    EXPECT_EQ(GetLastError(), kErrBusyStateMachine);
    EXPECT_EQ(machine->GetResult(), 0u);
    EXPECT_EQ(&machine->CurrentState(), &machine->first);
    // The running job still completes normally.
    port->Inject("AA;");
    pump.RunUntilIdle();
    port->Inject("BB;");
    pump.RunUntilIdle();
    EXPECT_THAT(window.completions, ElementsAre(0u));
}

TEST_F(FrameworkTest, TimerOfAnotherMachineIsIgnored) {
    ASSERT_TRUE(machine->Start(machine->first));
    machine->OnTimer(kMsgTimer, CContactStateMachine::kTimerId, 0);
    EXPECT_EQ(&machine->CurrentState(), &machine->first);
    EXPECT_TRUE(window.completions.empty());
}

TEST_F(FrameworkTest, ResponseInPiecesIsHandledOnceAtTheTerminator) {
    model->trace.Set(1);
    ASSERT_TRUE(machine->Start(machine->first));
    port->Inject("A");
    pump.RunUntilIdle();
    EXPECT_EQ(&machine->CurrentState(), &machine->first);
    port->Inject("A\r7;");
    pump.RunUntilIdle();
    EXPECT_EQ(&machine->CurrentState(), &machine->second);
    EXPECT_THAT(window.log, ::testing::Contains("First response AA\\x0D7; " + std::string("  0 ms")));
}

TEST_F(FrameworkTest, TwoAnswersTogetherAreTwoResponses) {
    // The retry state rejects answers not starting with BB; the second answer passes.
    class CPickyMachine : public CStateHost<CPickyMachine> {
      public:
        explicit CPickyMachine(CRadioSession& session)
            : CStateHost(session, 10), only(*this, "Only", &FinalState(), 0xE2000222, "BB;", 200) {}
        class CPicky : public CCommandResponseRetryState<CPickyMachine> {
          public:
            using CCommandResponseRetryState::CCommandResponseRetryState;
            AnswerCheck CheckAnswer(const std::string& answer) override {
                seen.push_back(answer);
                return ValidIf(HasPrefix());
            }
            std::vector<std::string> seen;
        } only;
    };
    CPickyMachine picky(*session);
    session->SetActiveMachine(&picky);
    ASSERT_TRUE(picky.Start(picky.only));
    port->Inject("?;BB5;");
    pump.RunUntilIdle();
    EXPECT_THAT(picky.only.seen, ElementsAre("?;", "BB5;"));
    EXPECT_TRUE(picky.IsIdle());
    EXPECT_EQ(picky.GetResult(), 0u);
}

// An answer that carries its own length ("LN" + 3 digits + text + ";") may hold the terminator
// in its text: the state asks for more until the length is met, and sees the answer whole.
class CLengthMachine : public CStateHost<CLengthMachine> {
  public:
    explicit CLengthMachine(CRadioSession& session)
        : CStateHost(session, 10), only(*this, "Only", &FinalState(), 0xE2000222, "LN;", 200) {}
    class CLengthState : public CCommandResponseState<CLengthMachine> {
      public:
        using CCommandResponseState::CCommandResponseState;
        AnswerCheck CheckAnswer(const std::string& answer) override {
            if (answer.size() < 6 || answer.compare(0, 2, "LN") != 0) {
                return AnswerCheck::kInvalid;
            }
            const std::size_t length = std::stoul(answer.substr(2, 3));
            return answer.size() < 6 + length ? AnswerCheck::kNeedMore : ValidIf(answer.size() == 6 + length);
        }
        void OnValidResponse() override {
            text = this->m_host.Response().substr(5, this->m_host.Response().size() - 6);
            OnSuccess();
        }
        std::string text;
    } only;
};

TEST_F(FrameworkTest, AnAnswerReadByItsLengthMayHoldTheTerminator) {
    struct Case {
        std::vector<std::string> pieces;
        std::string text;  // empty: no valid answer, the state's time-out ends the run
    };
    const Case cases[] = {
        {{"LN005a;b;c;"}, "a;b;c"}, {{"LN00", "5a;", "b;", "c;"}, "a;b;c"},
        {{"LN000;"}, ""},           {{"X;", "LN002;;;"}, ";;"},
        {{"LN002abc;"}, ""},  // longer than it says
    };
    for (const Case& c : cases) {
        CLengthMachine machine(*session);
        session->SetActiveMachine(&machine);
        window.completions.clear();
        ASSERT_TRUE(machine.Start(machine.only));
        for (const std::string& piece : c.pieces) {
            port->Inject(piece);
            pump.RunUntilIdle();
        }
        pump.AdvanceBy(200);
        EXPECT_EQ(machine.only.text, c.text) << c.pieces.front();
        EXPECT_THAT(window.completions, ElementsAre(c.pieces.front() == "LN002abc;" ? 0xE2000222u : 0u))
            << c.pieces.front();
        session->SetActiveMachine(nullptr);
    }
}

// Bytes that never make an answer (noise without a terminator, or a state that keeps asking
// for more) are dropped at a bound instead of growing without end.
TEST_F(FrameworkTest, AnAnswerThatNeverEndsIsDroppedAtTheLimit) {
    ASSERT_TRUE(machine->Start(machine->first));
    port->Inject(std::string(kAnswerLimit * 3, 'x'));
    pump.RunUntilIdle();
    EXPECT_LT(machine->Response().size(), kAnswerLimit);
    port->Inject("AA;");
    pump.RunUntilIdle();
    EXPECT_EQ(&machine->CurrentState(), &machine->second);
}

TEST_F(FrameworkTest, NoAnswerFailsWithTheStatesCodeAndTheMachineIsIdleAgain) {
    ASSERT_TRUE(machine->Start(machine->first));
    pump.AdvanceBy(299);
    EXPECT_FALSE(machine->IsIdle());
    pump.AdvanceBy(1);
    EXPECT_TRUE(machine->IsIdle());
    EXPECT_THAT(window.completions, ElementsAre(0xE2000111u));
    // It can be started again.
    port->script = [](const std::string& w, std::uint32_t) { return w == "AA;" ? "AA;" : "BB;"; };
    ASSERT_TRUE(machine->Start(machine->first));
    pump.RunUntilIdle();
    EXPECT_THAT(window.completions, ElementsAre(0xE2000111u, 0u));
}

TEST_F(FrameworkTest, WriteFailureEndsTheRunWithThePortsError) {
    port->writeError = kErrorAccessDenied;
    ASSERT_TRUE(machine->Start(machine->first));
    EXPECT_TRUE(machine->IsIdle());
    EXPECT_THAT(window.completions, ElementsAre(kErrorAccessDenied));
}

TEST_F(FrameworkTest, DoneKeepsAnEarlierFailureAndFailOverwrites) {
    machine->SetResult(0xE2000111);
    machine->first.Done(0);
    EXPECT_EQ(machine->GetResult(), 0xE2000111u);
    EXPECT_TRUE(machine->IsIdle());
    machine->first.Fail(0xE2000222);
    EXPECT_EQ(machine->GetResult(), 0xE2000222u);
}

TEST_F(FrameworkTest, PositiveCodesCountAsFailures) {
    EXPECT_TRUE(Failed(5));
    EXPECT_TRUE(Failed(0xA2000047));
    EXPECT_FALSE(Failed(0));
    EXPECT_EQ(AsHresult(5), 0x80070005u);
}

// A job that ends through ResumeContact, as the loaders and the restore do.
class CResumingMachine : public CStateHost<CResumingMachine> {
  public:
    explicit CResumingMachine(CRadioSession& session)
        : CStateHost(session, 11), only(*this, "Only", &FinalState(), 0xE2000111, "AA;", 300) {}
    void OnComplete() override { ResumeContact(); }
    CCommandResponseState<CResumingMachine> only;
};

using ResumeTest = test::CScriptedMachineTest<CResumingMachine>;

// A failure forgets the radio's firmware status, and so does a refused device; a refused device
// that is still the active machine's is left to the contact, started again to refuse it itself.
TEST_F(ResumeTest, FailuresAndRefusedDevicesForgetTheFirmwareStatus) {
    struct Case {
        Result failure;
        bool active;
    };
    const Case cases[] = {
        {0xE2000111, true}, {0xE2000111, false}, {kErrUnexpectedDevice, false}, {kErrUnexpectedDevice, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << std::hex << c.failure << (c.active ? " active" : ""));
        const bool contactFollows = c.failure == kErrUnexpectedDevice && c.active;
        model->firmwareStatus.Set(kFirmwareBootLoader);
        session->SetActiveMachine(c.active ? machine.get() : nullptr);
        window.completions.clear();
        machine->only.Fail(c.failure);
        EXPECT_EQ(session->Contact().IsIdle(), !contactFollows);
        if (contactFollows) {
            EXPECT_EQ(session->ActiveMachine(), nullptr);
            EXPECT_TRUE(window.completions.empty());
            // Nothing answers on this port: the contact ends after one circle of speeds.
            pump.AdvanceUntil([this] { return !window.completions.empty(); }, 10000);
            EXPECT_THAT(window.completions, ElementsAre(kErrNoResponseAfterReset));
        } else {
            EXPECT_THAT(window.completions, ElementsAre(c.failure));
        }
        EXPECT_EQ(model->firmwareStatus.Get(), kFirmwareNone);
    }
}

// A job that waits out the radio's reset, as the loaders and the restore do, then asks again.
class CResetWaitMachine : public CStateHost<CResetWaitMachine> {
  public:
    explicit CResetWaitMachine(CRadioSession& session)
        : CStateHost(session, 12), reset(*this, &after), after(*this, "After", &FinalState(), 0xE2000111, "AA;", 300) {}
    CResetMcuState<CResetWaitMachine> reset;
    CCommandResponseState<CResetWaitMachine> after;
};

using PortLostTest = test::CScriptedMachineTest<CResetWaitMachine>;

TEST_F(PortLostTest, AVanishedDeviceEndsTheResetWaitAtOnce) {
    ASSERT_TRUE(machine->Start(machine->reset));
    pump.AdvanceBy(1000);
    port->Vanish();
    pump.RunUntilIdle();
    EXPECT_EQ(pump.TickCount(), 1000u);  // not when the 8 s are up
    EXPECT_TRUE(machine->IsIdle());
    EXPECT_THAT(window.completions, ElementsAre(kErrPortGone));
    EXPECT_FALSE(model->IsPortOpen());
    // Nothing is sent, nothing is reported twice, and the wait's end finds nothing to do.
    pump.AdvanceBy(10000);
    EXPECT_THAT(port->SentTexts(), ElementsAre("LDD20000;"));
    EXPECT_THAT(window.completions, ElementsAre(kErrPortGone));
    EXPECT_TRUE(notifier.BoxLines().empty());
}

TEST_F(PortLostTest, ANoticeOvertakenByAReopenedPortIsStale) {
    port->script = [](const std::string& w, std::uint32_t) { return w == "AA;" ? "AA;" : ""; };
    ASSERT_TRUE(machine->Start(machine->reset));
    port->Vanish();
    session->OpenSerialPort("/dev/ttyTEST");  // the user plugged it back in and reopened first
    pump.RunUntilIdle();
    EXPECT_FALSE(machine->IsIdle());
    EXPECT_TRUE(model->IsPortOpen());
    pump.AdvanceBy(CResetMcuState<CResetWaitMachine>::kWaitMs);
    EXPECT_THAT(window.completions, ElementsAre(0u));
}

}  // namespace
}  // namespace rm7

namespace rm7 {
namespace {

// The stop rule every job's close and rm7util's Ctrl-C share.
TEST_F(FrameworkTest, AStopAsksFirstAndStopsOnlyAMachineStillRunning) {
    struct Case {
        const char* what;
        bool start;
        int answer;  // -1: no question; 0/1: the user's answer
        bool endsWhileAsked;
        StopRequest expected;
        Result result;  // the run's completion, when it ends
    };
    const Case cases[] = {
        {"idle: nothing to stop, nobody asked", false, 1, false, StopRequest::kIdle, 0},
        {"declined: runs on", true, 0, false, StopRequest::kDeclined, 0},
        {"yes: cancelled at the next step", true, 1, false, StopRequest::kStopping, kErrorCancelled},
        {"no question: cancelled", true, -1, false, StopRequest::kStopping, kErrorCancelled},
        {"ended while asked", true, 1, true, StopRequest::kTooLate, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        window.completions.clear();
        port->script = [](const std::string& w, std::uint32_t) { return w == "AA;" ? "AA;" : "BB;"; };
        if (c.start) {
            ASSERT_TRUE(machine->Start(machine->first));
        }
        int asked = 0;
        std::function<bool()> ask;
        if (c.answer >= 0) {
            ask = [&] {
                ++asked;
                if (c.endsWhileAsked) {
                    pump.RunUntilIdle();
                }
                return c.answer == 1;
            };
        }
        EXPECT_EQ(RequestStop(*machine, ask), c.expected);
        EXPECT_EQ(asked, c.start && c.answer >= 0 ? 1 : 0);
        pump.RunUntilIdle();
        EXPECT_TRUE(machine->IsIdle());
        if (c.start) {
            EXPECT_THAT(window.completions, ElementsAre(c.result));
        }
    }
}

}  // namespace
}  // namespace rm7
