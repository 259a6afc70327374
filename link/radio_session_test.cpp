#include "link/radio_session.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/support/scripted_port.h"

namespace rm7 {
namespace {

using test::CRecordingWindow;
using test::CScriptedPort;
using ::testing::ElementsAre;

class RadioSessionTest : public ::testing::Test {
  protected:
    RadioSessionTest() {
        auto owned = std::make_unique<CScriptedPort>(pump);
        port = owned.get();
        session = std::make_unique<CRadioSession>(*model, std::move(owned));
    }

    CManualPump pump;
    std::unique_ptr<CModel> model = std::make_unique<CModel>(pump);
    CScriptedPort* port = nullptr;
    std::unique_ptr<CRadioSession> session;
    CRecordingWindow window;
};

TEST_F(RadioSessionTest, SpeedOutsideTheListIsNotAppliedButObserversAreTold) {
    CObservation o(model->serialSpeed, &window);
    session->OpenSerialPort("/dev/ttyTEST");
    session->SetSerialSpeed(14400);
    EXPECT_EQ(port->Speed(), 38400u);
    session->SetSerialSpeed(9600);
    EXPECT_EQ(port->Speed(), 9600u);
    EXPECT_THAT(window.messages, ElementsAre(kMsgSerialSpeed, kMsgSerialSpeed));
}

TEST_F(RadioSessionTest, ClosePortResetsWhatIsKnownOfTheRadio) {
    session->OpenSerialPort("/dev/ttyTEST");
    model->firmwareVersions.Set(0, 288);
    model->serialNumber.Set(300);
    model->firmwareStatus.Set(kFirmwareRunning);
    session->ClosePort();
    EXPECT_EQ(model->portState.Get(), -1);
    EXPECT_EQ(model->firmwareVersions.Get(0), 0u);
    EXPECT_EQ(model->serialNumber.Get(), 0xFFFFu);
    EXPECT_EQ(model->firmwareStatus.Get(), kFirmwareNone);
    EXPECT_FALSE(model->IsPortOpen());
}

TEST_F(RadioSessionTest, IdleEventsGoToTheSelectedPage) {
    session->SetIdleTarget(&window);
    pump.Post(session->Router(), kMsgSerialNotice, 0, 0);
    pump.RunUntilIdle();
    EXPECT_THAT(window.messages, ElementsAre(kMsgSerialNotice));
    EXPECT_TRUE(session->AllIdle());
}

TEST_F(RadioSessionTest, ASendRightAfterASpeedChangeWaitsForThePortToSettle) {
    port->settleMs = 50;
    session->OpenSerialPort("/dev/ttyTEST");
    session->SetSerialSpeed(9600);
    EXPECT_EQ(session->SettleRemainingMs(), 50u);
    pump.AdvanceBy(20);
    EXPECT_EQ(session->SettleRemainingMs(), 30u);
    pump.AdvanceBy(30);
    EXPECT_EQ(session->SettleRemainingMs(), 0u);
    // A speed the port does not take starts no wait.
    session->SetSerialSpeed(14400);
    EXPECT_EQ(session->SettleRemainingMs(), 0u);
}

}  // namespace
}  // namespace rm7
