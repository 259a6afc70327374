#include "link/port_page_logic.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "link/contact.h"
#include "link/memory_port.h"
#include "platform/manual_pump.h"
#include "sim/radio.h"
#include "tests/support/scripted_port.h"

namespace rm7 {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const std::vector<SerialDeviceInfo> kDevices{{"/dev/ttyS0", "/dev/ttyS0"},
                                             {"/dev/ttyUSB0", "usb-FTDI_FT232R_A5-if00-port0"}};

TEST(PortList, DevicesThenACurrentPortTheMachineDoesNotList) {
    EXPECT_THAT(PortListEntries(kDevices, "/dev/ttyUSB0"),
                ElementsAre(PortListEntry{"/dev/ttyS0", "/dev/ttyS0"},
                            PortListEntry{"/dev/ttyUSB0 (usb-FTDI_FT232R_A5-if00-port0)", "/dev/ttyUSB0"}));
    // A pty, or an adapter unplugged for now: kept and shown, so it is not lost.
    const auto entries = PortListEntries(kDevices, "/dev/pts/7");
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[2], (PortListEntry{"/dev/pts/7", "/dev/pts/7"}));
    EXPECT_EQ(PortListIndex(entries, "/dev/pts/7"), 2);
    EXPECT_EQ(PortListIndex(entries, "/dev/ttyUSB0"), 1);
    EXPECT_EQ(PortListIndex(entries, "/dev/ttyUSB1"), -1);
    EXPECT_EQ(PortListIndex(entries, ""), -1);
    EXPECT_EQ(PortListEntries(kDevices, "").size(), 2u);
    EXPECT_THAT(PortListEntries({}, ""), IsEmpty());
}

TEST(PortList, InputIsALabelOrATypedPath) {
    const auto entries = PortListEntries(kDevices, "");
    struct Case {
        const char* text;
        const char* port;
    } cases[] = {
        {"/dev/ttyUSB0 (usb-FTDI_FT232R_A5-if00-port0)", "/dev/ttyUSB0"},
        {"/dev/ttyS0", "/dev/ttyS0"},
        {"  /tmp/rm7link \n", "/tmp/rm7link"},
        {"/dev/pts/12", "/dev/pts/12"},
        {"ttyUSB1", "/dev/ttyUSB1"},
        {"pts/3", "pts/3"},  // a relative path stays as typed
        {" rfc2217://radio-pi.local:2000 ", "rfc2217://radio-pi.local:2000"},
        {"tcp://[::1]:7000", "tcp://[::1]:7000"},
        {"   ", ""},
        {"", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PortFromInput(entries, c.text), c.port) << "'" << c.text << "'";
    }
}

TEST(SpeedChoices, FixedSpeedSelectsItsEntryElseAuto) {
    struct Case {
        unsigned long speed;
        std::size_t index;
    } cases[] = {{0, 0}, {38400, 1}, {19200, 2}, {9600, 3}, {4800, 4}, {14400, 0}, {115200, 0}};
    for (const Case& c : cases) {
        EXPECT_EQ(SpeedChoiceIndex(c.speed), c.index) << c.speed;
    }
}

class PortPageLogicTest : public ::testing::Test {
  protected:
    PortPageLogicTest()
        : radio(rm7sim::Options{}),
          model(pump, nullptr, &notifier),
          session(model, std::make_unique<CMemoryPort>(pump, radio)),
          logic(session),
          portNameSeen(model.portName, &window) {}
    bool RunContact() {
        return pump.AdvanceUntil([this] { return session.Contact().IsIdle(); }, 60000);
    }

    CManualPump pump;
    test::CRecordingNotifier notifier;
    rm7sim::Radio radio;
    CModel model;
    CRadioSession session;
    CPortPageLogic logic;
    test::CRecordingWindow window;
    CObservation portNameSeen;
};

TEST_F(PortPageLogicTest, OnlyADifferentPortChangesThePortName) {
    EXPECT_TRUE(logic.ChoosePort("/dev/pts/3"));
    EXPECT_FALSE(logic.ChoosePort("/dev/pts/3"));
    EXPECT_TRUE(logic.ChoosePort("/dev/pts/4"));
    EXPECT_THAT(window.messages, ElementsAre(kMsgPortName, kMsgPortName));
    EXPECT_EQ(model.portName.Get(), "/dev/pts/4");
}

TEST_F(PortPageLogicTest, SpeedChoiceIsTheFixedSpeedOfTheNextSearch) {
    logic.ChooseSpeed(3);
    EXPECT_EQ(model.fixedSerialSpeed.Get(), 9600u);
    logic.ChooseSpeed(0);
    EXPECT_EQ(model.fixedSerialSpeed.Get(), 0u);
    logic.ChooseSpeed(99);
    EXPECT_EQ(model.fixedSerialSpeed.Get(), 0u);
}

TEST_F(PortPageLogicTest, TestCommunicationsWithoutAPortAsksForOne) {
    EXPECT_EQ(logic.TestCommunications(), CPortPageLogic::TestOutcome::NoPort);
    ASSERT_EQ(notifier.boxes.size(), 1u);
    EXPECT_EQ(notifier.boxes[0].caption, "Select a serial port");
    EXPECT_EQ(notifier.boxes[0].text, "Please choose a serial port on the Port page");
    EXPECT_EQ(notifier.boxes[0].icon, MessageIcon::Error);
    EXPECT_TRUE(session.Contact().IsIdle());
}

TEST_F(PortPageLogicTest, TestCommunicationsReopensAndContactsAgain) {
    model.portName.Set("sim0");
    session.Contact().StartAtOpenPort();
    ASSERT_TRUE(RunContact());
    ASSERT_EQ(model.firmwareStatus.Get(), kFirmwareRunning);
    const auto commandsBefore = radio.ReceivedCommands().size();

    EXPECT_EQ(logic.TestCommunications(), CPortPageLogic::TestOutcome::Started);
    EXPECT_EQ(model.firmwareStatus.Get(), kFirmwareNone);  // the port was closed first
    EXPECT_FALSE(session.Contact().IsIdle());
    ASSERT_TRUE(RunContact());
    EXPECT_EQ(model.firmwareStatus.Get(), kFirmwareRunning);
    EXPECT_GT(radio.ReceivedCommands().size(), commandsBefore);
    EXPECT_THAT(notifier.boxes, IsEmpty());
}

TEST_F(PortPageLogicTest, AnOpenPortWithNoRadioKnownIsContactedOnce) {
    model.portName.Set("sim0");
    logic.OnPortState();  // closed: nothing
    EXPECT_TRUE(session.Contact().IsIdle());

    ASSERT_EQ(session.OpenSerialPort("sim0"), kOk);
    logic.OnPortState();
    EXPECT_FALSE(session.Contact().IsIdle());
    const char* state = session.Contact().CurrentState().Name();
    logic.OnPortState();  // a busy contact is left alone
    EXPECT_STREQ(session.Contact().CurrentState().Name(), state);
    ASSERT_TRUE(RunContact());

    logic.OnPortState();  // the radio is known now
    EXPECT_TRUE(session.Contact().IsIdle());
}

TEST_F(PortPageLogicTest, FirmwareStatusIsShownOnlyWhileThePortIsOpen) {
    model.portName.Set("sim0");
    model.firmwareStatus.Set(kFirmwareRunning);
    logic.OnFirmwareStatus();
    EXPECT_THAT(notifier.boxes, IsEmpty());

    ASSERT_EQ(session.OpenSerialPort("sim0"), kOk);
    model.firmwareVersions.Set(0, 288);
    struct Case {
        FirmwareStatusEnum status;
        MessageIcon icon;
        std::string text;
    } cases[] = {
        {kFirmwareBootLoader, MessageIcon::Warning, "RM7 waiting for firmware load on sim0 at 38400 bit/s"},
        {kFirmwareRunning, MessageIcon::Information, "RM7 MCU version 02.88 on sim0 at 38400 bit/s"},
        {kFirmwareNone, MessageIcon::Error, "RM7 is not responding"},
    };
    for (const Case& c : cases) {
        notifier.boxes.clear();
        model.firmwareStatus.Set(c.status);
        logic.OnFirmwareStatus();
        ASSERT_EQ(notifier.boxes.size(), 1u);
        EXPECT_EQ(notifier.boxes[0].caption, "RM7 Status");
        EXPECT_EQ(notifier.boxes[0].icon, c.icon);
        EXPECT_EQ(notifier.boxes[0].text, c.text);
    }
}

}  // namespace
}  // namespace rm7
