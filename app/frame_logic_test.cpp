#include "app/frame_logic.h"
#include "link/radio_session.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "link/contact.h"
#include "platform/manual_pump.h"
#include "platform/settings.h"
#include "platform/version.h"
#include "sim/memory_port.h"
#include "sim/radio.h"
#include "tests/support/radio_bench.h"
#include "tests/support/scripted_port.h"

namespace rm7 {
namespace {

using ::testing::ElementsAre;

const std::string kVersion = "RM7 Utility Version " + std::to_string(kVersionMajor) + "." +
                             std::to_string(kVersionMinor) + "." + std::to_string(kVersionPatch) + "." +
                             std::to_string(kVersionTweak);

// A radio the contact finds transmitting is offered receive once; Yes sends "RX;" and looks for
// the radio again, which then finds it in receive. Nothing is sent while a job runs.
TEST(TransmitOffer, AskedOnceForARadioFoundTransmittingAndYesSwitchesItToReceive) {
    auto options = test::CRadioBench::DefaultOptions();
    options.transmitting = true;
    test::CRadioBench bench(test::BenchStart::Contacted, options);
    CModel& model = *bench.model;
    ASSERT_EQ(model.transmitState, CModel::TransmitState::kTransmitting);
    CTransmitOffer offer;
    EXPECT_TRUE(offer.ShouldAsk(model, *bench.session));
    EXPECT_FALSE(offer.ShouldAsk(model, *bench.session));  // another port event: not again

    // Busy: refused, nothing sent.
    bench.session->Contact().StartAtOpenPort();
    const std::size_t before = bench.radio->ReceivedCommands().size();
    EXPECT_FALSE(SwitchToReceive(*bench.session));
    EXPECT_EQ(bench.radio->ReceivedCommands().size(), before);
    bench.pump.AdvanceUntil([&bench] { return bench.session->AllIdle(); }, 60000);

    EXPECT_TRUE(SwitchToReceive(*bench.session));
    bench.pump.AdvanceUntil([&bench] { return bench.session->AllIdle(); }, 60000);
    EXPECT_FALSE(bench.radio->Transmitting(bench.pump.TickCount()));
    EXPECT_EQ(model.transmitState, CModel::TransmitState::kReceiving);
    EXPECT_FALSE(offer.ShouldAsk(model, *bench.session));

    // Found transmitting again later: asked again.
    model.transmitState = CModel::TransmitState::kTransmitting;
    EXPECT_TRUE(offer.ShouldAsk(model, *bench.session));
}

TEST(FrameTitle, SerialNumberAndPortPartsAppearOnlyWhenKnown) {
    struct Case {
        std::uint16_t serial;
        const char* port;
        bool open;
        std::uint32_t speed;
        std::string expected;
    } cases[] = {
        {0xFFFF, "", false, 38400, kVersion},
        {0xFFFF, "", true, 38400, kVersion},  // no name, no port part
        {300, "/dev/ttyUSB0", true, 9600, kVersion + " - S/N 00300 on /dev/ttyUSB0 at 9600 bit/s"},
        {0, "/dev/ttyUSB0", true, 4800, kVersion + " - S/N 00000 on /dev/ttyUSB0 at 4800 bit/s"},
        {0xFFFE, "/dev/pts/3", false, 9600, kVersion + " - S/N 65534 on /dev/pts/3 closed"},
        {0xFFFF, "/dev/pts/3", false, 9600, kVersion + " on /dev/pts/3 closed"},
        {12345, "", true, 38400, kVersion + " - S/N 12345"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FrameTitle(c.serial, c.port, c.open, c.speed), c.expected) << c.serial << " " << c.port;
    }
}

TEST(StatusLine, EveryKindOfLineBreakBecomesOneBlank) {
    const struct {
        const char* text;
        const char* line;
    } cases[] = {
        {"Contact failed 0x2 No such file\n", "Contact failed 0x2 No such file"},
        {"access denied.\nAdd yourself to the group", "access denied. Add yourself to the group"},
        {"one\r\ntwo\rthree\n\n\nfour", "one. two. three. four"},
        {"/dev/ttyUSB9: No such file or directory\n\nChoose a port:\n\"x\"\n)",
         "/dev/ttyUSB9: No such file or directory. Choose a port: \"x\" )"},
        {"\r\n\nleading and trailing\r\n", "leading and trailing"},
        {"\n", ""},
        {"", ""},
        {"no break at all", "no break at all"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(StatusLine(c.text), c.line) << c.text;
    }
}

TEST(InitialPage, SavedPageOnlyWithAPortAndInRange) {
    struct Case {
        int saved;
        const char* port;
        int expected;
    } cases[] = {
        {2, "/dev/ttyUSB0", 2},
        {5, "/dev/ttyUSB0", 5},
        {2, "", kPagePort},
        {6, "/dev/ttyUSB0", kPagePort},
        {-1, "/dev/ttyUSB0", kPagePort},
        {0, "/dev/ttyUSB0", kPagePort},
        {5, "", kPagePort},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(InitialPage(c.saved, c.port), c.expected) << c.saved << " '" << c.port << "'";
    }
}

TEST(MinimumFrameSize, RoundsEachSideToTheNearestPixel) {
    EXPECT_EQ(MinimumFrameSize(400, 300), (FrameSize{420, 327}));
    EXPECT_EQ(MinimumFrameSize(10, 10), (FrameSize{11, 11}));      // 10.5 up, 10.9 up
    EXPECT_EQ(MinimumFrameSize(109, 104), (FrameSize{114, 113}));  // 114.45 down, 113.36 down
    EXPECT_EQ(MinimumFrameSize(0, 0), (FrameSize{0, 0}));
}

TEST(PortMenuItems, NoneFirstThenEveryDeviceInOrder) {
    const std::vector<SerialDeviceInfo> devices{{"/dev/ttyS0", "/dev/ttyS0"},
                                                {"/dev/ttyUSB0", "usb-FTDI_FT232R_A5-if00-port0"}};
    EXPECT_THAT(PortMenuItems(devices),
                ElementsAre(PortMenuItem{30000, "NONE", ""}, PortMenuItem{30001, "/dev/ttyS0", "/dev/ttyS0"},
                            PortMenuItem{30002, "/dev/ttyUSB0 (usb-FTDI_FT232R_A5-if00-port0)", "/dev/ttyUSB0"}));
    EXPECT_THAT(PortMenuItems({}), ElementsAre(PortMenuItem{30000, "NONE", ""}));
}

class PlacementTest : public ::testing::Test {
  protected:
    static constexpr const char* kNames[] = {"flags",   "showCmd", "minPosX", "minPosY", "maxPosX",
                                             "maxPosY", "bottom",  "left",    "right",   "top"};
    CSettingsStore store{"/nonexistent/placement-test.conf"};
};

TEST_F(PlacementTest, RoundTripsIncludingScreensLeftOfThePrimary) {
    const WindowPlacement saved = MakePlacement(-1200, 40, 640, 480, false, false, false);
    EXPECT_EQ(saved.right, -560);
    EXPECT_EQ(saved.bottom, 520);
    ASSERT_EQ(SavePlacement(store, saved), kOk);
    for (const char* name : kNames) {
        EXPECT_TRUE(store.Has(kPlacementSection, name)) << name;
    }
    std::uint32_t left = 0;
    ASSERT_EQ(store.ReadDword("Window", "left", left), kOk);
    EXPECT_EQ(left, 0xFFFFFB50u);  // -1200 as a dword
    EXPECT_EQ(LoadPlacement(store), saved);
}

TEST_F(PlacementTest, OneValueMissingOrOfAnotherTypeMeansNoPlacement) {
    const WindowPlacement saved = MakePlacement(10, 20, 300, 200, true, false, false);
    for (const char* name : kNames) {
        SCOPED_TRACE(name);
        store.Clear();
        ASSERT_EQ(SavePlacement(store, saved), kOk);
        ASSERT_TRUE(LoadPlacement(store).has_value());
        store.Remove(kPlacementSection, name);
        EXPECT_FALSE(LoadPlacement(store).has_value());
        store.WriteString(kPlacementSection, name, "1");
        EXPECT_FALSE(LoadPlacement(store).has_value());
    }
    // The values belong to their own section: the same names at the top level do not count.
    store.Clear();
    for (const char* name : kNames) {
        store.WriteDword("", name, 100);
    }
    EXPECT_FALSE(LoadPlacement(store).has_value());
}

TEST_F(PlacementTest, ARectangleWithoutAreaIsNotApplied) {
    WindowPlacement p = MakePlacement(10, 20, 300, 200, false, false, false);
    p.right = p.left;
    SavePlacement(store, p);
    EXPECT_FALSE(LoadPlacement(store).has_value());
    p = MakePlacement(10, 20, 300, 200, false, false, false);
    p.bottom = p.top - 5;
    SavePlacement(store, p);
    EXPECT_FALSE(LoadPlacement(store).has_value());
}

TEST_F(PlacementTest, ShowStateMapsBothWays) {
    struct Case {
        bool maximized, minimized, fromMaximized;
        std::uint32_t showCmd, flags;
        bool opensMaximized;
    } cases[] = {
        {false, false, false, 1, 0, false},
        {true, false, false, 3, 0, true},
        {false, true, false, 2, 0, false},  // a minimized window comes back as it was before
        {false, true, true, 2, 2, true},
    };
    for (const Case& c : cases) {
        const WindowPlacement p = MakePlacement(0, 0, 100, 100, c.maximized, c.minimized, c.fromMaximized);
        EXPECT_EQ(p.showCmd, c.showCmd);
        EXPECT_EQ(p.flags, c.flags);
        EXPECT_EQ(p.OpensMaximized(), c.opensMaximized);
        EXPECT_EQ(p.minPosX, -1);
        EXPECT_EQ(p.maxPosY, -1);
    }
}

// The status text and the port-name rule against a model on the in-process radio.
class FrameModelTest : public ::testing::Test {
  protected:
    void Build(rm7sim::Options options = {}) {
        radio = std::make_unique<rm7sim::Radio>(options);
        model = std::make_unique<CModel>(pump, nullptr, &notifier);
        session = std::make_unique<CRadioSession>(*model, std::make_unique<CMemoryPort>(pump, *radio));
        completion = CObservation(model->portEvent, &window);
    }
    bool RunContact() {
        return pump.AdvanceUntil([this] { return session->Contact().IsIdle(); }, 60000);
    }

    CManualPump pump;
    test::CRecordingNotifier notifier;
    test::CRecordingWindow window;
    std::unique_ptr<rm7sim::Radio> radio;
    std::unique_ptr<CModel> model;
    std::unique_ptr<CRadioSession> session;
    CObservation completion;
};

TEST_F(FrameModelTest, StatusTextFollowsTheFirmwareStatusAndThePort) {
    Build();
    EXPECT_EQ(FrameStatusText(*model), "No serial port is chosen: choose the radio's port on the Port page");
    model->portName.Set("sim0");
    EXPECT_EQ(FrameStatusText(*model), "Serial port sim0 is closed");
    ASSERT_EQ(session->OpenSerialPort("sim0"), kOk);
    EXPECT_EQ(FrameStatusText(*model), "RM7 is not responding");

    session->Contact().StartAtOpenPort();
    ASSERT_TRUE(RunContact());
    EXPECT_EQ(model->firmwareStatus.Get(), kFirmwareRunning);
    EXPECT_EQ(FrameStatusText(*model), "RM7 MCU version 02.54 on sim0 at 38400 bit/s");
    EXPECT_EQ(FrameTitle(*model), kVersion + " - S/N 01234 on sim0 at 38400 bit/s");

    session->ClosePort();
    EXPECT_EQ(FrameStatusText(*model), "Serial port sim0 is closed");
    EXPECT_EQ(FrameTitle(*model), kVersion + " on sim0 closed");
}

TEST_F(FrameModelTest, StatusTextOfABootLoader) {
    rm7sim::Options options;
    options.bootLoader = true;
    options.speed = 9600;
    Build(options);
    model->portName.Set("sim0");
    session->Contact().StartAtOpenPort();
    ASSERT_TRUE(RunContact());
    EXPECT_EQ(FrameStatusText(*model), "RM7 waiting for firmware load on sim0 at 9600 bit/s");
}

TEST_F(FrameModelTest, ANewPortNameClosesTheOldPortAndContactsTheNew) {
    Build();
    model->portName.Set("sim0");
    session->Contact().StartAtOpenPort();
    ASSERT_TRUE(RunContact());
    ASSERT_EQ(model->serialNumber.Get(), 1234u);

    model->portName.Set("sim1");
    OnPortNameChanged(*session);
    EXPECT_EQ(model->serialNumber.Get(), 0xFFFFu);  // what was known of the old radio is gone
    EXPECT_FALSE(session->Contact().IsIdle());
    ASSERT_TRUE(RunContact());
    EXPECT_EQ(session->Port().Name(), "sim1");
    EXPECT_EQ(FrameTitle(*model), kVersion + " - S/N 01234 on sim1 at 38400 bit/s");

    model->portName.Set("");
    OnPortNameChanged(*session);
    EXPECT_FALSE(model->IsPortOpen());
    EXPECT_TRUE(session->Contact().IsIdle());
    EXPECT_EQ(FrameTitle(*model), kVersion);
}

}  // namespace
}  // namespace rm7
