#include "link/port_page_logic.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "link/contact.h"
#include "platform/error_text.h"
#include "platform/manual_pump.h"
#include "sim/memory_port.h"
#include "sim/radio.h"
#include "tests/support/scripted_port.h"
#include "tests/support/temp_folder.h"

#include <fstream>

namespace rm7 {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const std::vector<SerialDeviceInfo> kDevices{{"/dev/ttyS0", "/dev/ttyS0"},
                                             {"/dev/ttyUSB0", "usb-FTDI_FT232R_A5-if00-port0"}};

TEST(PortList, DevicesWithTheirNamesThenPortsThatOpened) {
    EXPECT_THAT(PortListEntries(kDevices, {}),
                ElementsAre(PortListEntry{"/dev/ttyS0", "/dev/ttyS0"},
                            PortListEntry{"/dev/ttyUSB0 (usb-FTDI_FT232R_A5-if00-port0)", "/dev/ttyUSB0"}));
    // A pty and a network port that opened join once each, after the devices; a device that
    // opened is not listed twice.
    const auto entries = PortListEntries(kDevices, {"/dev/pts/7", "/dev/ttyUSB0", "tcp://[::1]:7000", ""});
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[2], (PortListEntry{"/dev/pts/7", "/dev/pts/7"}));
    EXPECT_EQ(entries[3], (PortListEntry{"tcp://[::1]:7000", "tcp://[::1]:7000"}));
    EXPECT_EQ(PortListIndex(entries, "/dev/pts/7"), 2);
    EXPECT_EQ(PortListIndex(entries, "/dev/ttyUSB0"), 1);
    EXPECT_EQ(PortListIndex(entries, "/dev/ttyUSB1"), -1);
    EXPECT_EQ(PortListIndex(entries, ""), -1);
    EXPECT_THAT(PortListEntries({}, {}), IsEmpty());
}

TEST(PortList, InputIsALabelOrATypedPath) {
    const auto entries = PortListEntries(kDevices, {});
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

TEST_F(PortPageLogicTest, ATypedPortJoinsTheListOnlyOnceItOpened) {
    model.portName.Set("sim0");
    logic.OnPortState();  // closed: not yet
    EXPECT_THAT(logic.Entries(kDevices), ::testing::SizeIs(2));
    ASSERT_EQ(session.OpenSerialPort("sim0"), kOk);
    logic.OnPortState();
    ASSERT_TRUE(RunContact());
    logic.OnPortState();  // told again: still once
    EXPECT_THAT(logic.Entries(kDevices), ::testing::SizeIs(3));
    EXPECT_EQ(PortListIndex(logic.Entries(kDevices), "sim0"), 2);
    // Another port that never opens does not join; the one that did stays.
    session.ClosePort();
    model.portName.Set("/dev/rm7-no-such-port");
    logic.OnPortState();
    EXPECT_EQ(PortListIndex(logic.Entries(kDevices), "/dev/rm7-no-such-port"), -1);
    EXPECT_EQ(PortListIndex(logic.Entries(kDevices), "sim0"), 2);
}

TEST_F(PortPageLogicTest, TestCommunicationsOnAPathThatIsNoDeviceSaysSoAtOnce) {
    const test::CTempFolder folder;
    { std::ofstream(folder / "file") << "x"; }
    const struct {
        std::string port;
        const char* why;
    } cases[] = {
        {(folder / "ttyUSB9").string(), "No such file or directory"},
        {folder.Path().string(), "a folder, not a serial device"},
        {(folder / "file").string(), "a regular file, not a serial device"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.port);
        notifier.boxes.clear();
        model.portName.Set(c.port);
        EXPECT_EQ(logic.TestCommunications(), CPortPageLogic::TestOutcome::NotADevice);
        EXPECT_TRUE(session.Contact().IsIdle());  // no search at every speed first
        ASSERT_EQ(notifier.boxes.size(), 1u);
        EXPECT_EQ(notifier.boxes[0].caption, "Serial Port");
        EXPECT_EQ(notifier.boxes[0].icon, MessageIcon::Error);
        EXPECT_THAT(notifier.boxes[0].text, ::testing::StartsWith(c.port + ": " + c.why));
        EXPECT_THAT(logic.Entries({}), IsEmpty());
    }
}

TEST_F(PortPageLogicTest, OnlyTestCommunicationsTellsTheContactsEndInABox) {
    model.portName.Set("sim0");
    model.firmwareVersions.Set(0, 288);
    // The contact at start-up (or after a change of port) leaves it to the status bar.
    session.Contact().StartAtOpenPort();
    ASSERT_TRUE(RunContact());
    logic.OnContactEnded(kOk);
    EXPECT_THAT(notifier.boxes, IsEmpty());

    ASSERT_EQ(logic.TestCommunications(), CPortPageLogic::TestOutcome::Started);
    ASSERT_TRUE(RunContact());
    logic.OnContactEnded(kOk);
    ASSERT_EQ(notifier.boxes.size(), 1u);
    EXPECT_EQ(notifier.boxes[0].caption, "RM7 Status");
    EXPECT_EQ(notifier.boxes[0].icon, MessageIcon::Information);
    EXPECT_THAT(notifier.boxes[0].text, ::testing::MatchesRegex("RM7 MCU version [0-9.]+ on sim0 at 38400 bit/s"));
    logic.OnContactEnded(kOk);  // once per test
    EXPECT_EQ(notifier.boxes.size(), 1u);

    // The page was left while the test ran: no box later.
    ASSERT_EQ(logic.TestCommunications(), CPortPageLogic::TestOutcome::Started);
    logic.ForgetTest();
    ASSERT_TRUE(RunContact());
    logic.OnContactEnded(kOk);
    EXPECT_EQ(notifier.boxes.size(), 1u);
}

TEST_F(PortPageLogicTest, TestCommunicationsOnAPortThatWouldNotOpenSaysWhy) {
    model.portName.Set("sim0");
    auto& port = dynamic_cast<CMemoryPort&>(session.Port());
    port.FailNextOpen(kErrorFileNotFound);
    ASSERT_EQ(logic.TestCommunications(), CPortPageLogic::TestOutcome::Started);
    ASSERT_TRUE(RunContact());
    logic.OnContactEnded(kErrorFileNotFound);
    ASSERT_EQ(notifier.boxes.size(), 1u);
    EXPECT_EQ(notifier.boxes[0].caption, "Serial Port");
    EXPECT_EQ(notifier.boxes[0].text, "Serial port sim0 did not open: " + ErrorText(kErrorFileNotFound));
    // Access denied is offered the diagnosis instead: no second box.
    notifier.boxes.clear();
    port.FailNextOpen(kErrorAccessDenied);
    ASSERT_EQ(logic.TestCommunications(), CPortPageLogic::TestOutcome::Started);
    ASSERT_TRUE(RunContact());
    logic.OnContactEnded(kErrorAccessDenied);
    EXPECT_THAT(notifier.boxes, IsEmpty());
}

TEST_F(PortPageLogicTest, TestCommunicationsTellsTheStateItFound) {
    model.portName.Set("sim0");
    struct Case {
        FirmwareStatusEnum status;
        Result result;
        MessageIcon icon;
        const char* text;  // "": no box
    } cases[] = {
        {kFirmwareBootLoader, kOk, MessageIcon::Warning, "RM7 waiting for firmware load on sim0 at 38400 bit/s"},
        {kFirmwareRunning, kOk, MessageIcon::Information, "RM7 MCU version 02.88 on sim0 at 38400 bit/s"},
        {kFirmwareNone, kErrNoResponseAfterReset, MessageIcon::Error, "RM7 is not responding"},
        {kFirmwareNone, kErrUnexpectedDevice, MessageIcon::Error, ""},  // the contact's own box said it
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        notifier.boxes.clear();
        ASSERT_EQ(logic.TestCommunications(), CPortPageLogic::TestOutcome::Started);
        ASSERT_TRUE(RunContact());
        ASSERT_TRUE(model.IsPortOpen());
        model.firmwareVersions.Set(0, 288);
        model.serialSpeed.Update(38400);
        model.firmwareStatus.Set(c.status);
        logic.OnContactEnded(c.result);
        if (*c.text == '\0') {
            EXPECT_THAT(notifier.boxes, IsEmpty());
            continue;
        }
        ASSERT_EQ(notifier.boxes.size(), 1u);
        EXPECT_EQ(notifier.boxes[0].caption, "RM7 Status");
        EXPECT_EQ(notifier.boxes[0].icon, c.icon);
        EXPECT_EQ(notifier.boxes[0].text, c.text);
    }
}

}  // namespace
}  // namespace rm7
