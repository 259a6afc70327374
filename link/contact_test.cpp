#include "link/contact.h"
#include "link/radio_session.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "link/memory_port.h"
#include "sim/radio.h"
#include "tests/support/scripted_port.h"

namespace rm7 {
namespace {

using test::CRecordingNotifier;
using test::CRecordingWindow;
using ::testing::ElementsAre;

// The contact against the simulated radio, in virtual time.
class ContactTest : public ::testing::Test {
  protected:
    void Build(rm7sim::Options options = {}) {
        // The session holds the model and the port holds the radio: each goes before what it holds.
        observation.Reset();
        session.reset();
        model.reset();
        radio = std::make_unique<rm7sim::Radio>(options);
        auto port = std::make_unique<CMemoryPort>(pump, *radio);
        this->port = port.get();
        model = std::make_unique<CModel>(pump, nullptr, &notifier);
        session = std::make_unique<CRadioSession>(*model, std::move(port));
        observation = CObservation(model->portEvent, &window);
        model->portName.Set("sim0");
    }
    Result Contact(std::uint32_t maxMs = 60000) {
        window.completions.clear();
        session->Contact().StartAtOpenPort();
        pump.AdvanceUntil([this] { return !window.completions.empty(); }, maxMs);
        EXPECT_EQ(window.completions.size(), 1u);
        return window.completions.empty() ? 0xFFFFFFFF : window.completions.back();
    }

    CManualPump pump;
    CRecordingNotifier notifier;
    CRecordingWindow window;
    std::unique_ptr<rm7sim::Radio> radio;
    CMemoryPort* port = nullptr;
    std::unique_ptr<CModel> model;
    std::unique_ptr<CRadioSession> session;
    CObservation observation;
};

TEST_F(ContactTest, FindsTheRadioAtEachSpeedAndReadsItsIdentity) {
    for (std::uint32_t speed : {38400u, 19200u, 9600u, 4800u}) {
        SCOPED_TRACE(speed);
        rm7sim::Options options;
        options.speed = speed;
        options.serial = 300;
        options.mcuVersion = 288;
        options.dspVersion = 1000;
        Build(options);
        EXPECT_EQ(Contact(), 0u);
        EXPECT_EQ(model->firmwareStatus.Get(), kFirmwareRunning);
        EXPECT_EQ(session->Port().Speed(), speed);
        EXPECT_EQ(model->serialNumber.Get(), 300u);
        EXPECT_EQ(model->FirmwareVersionText(0), "02.88");
        EXPECT_EQ(model->FirmwareVersionText(1), "10.00");
        EXPECT_EQ(model->deviceKind.Get(), kDeviceRM7);
        EXPECT_EQ(model->McuVersionText(), "RM7 MCU version 02.88 on sim0 at " + std::to_string(speed) + " bit/s");
        // Polls at other speeds never reach the radio.
        EXPECT_THAT(radio->ReceivedCommands(), ElementsAre("", "I", "TT0", "RVM", "OM", "ER83FA0281", "RVD"));
    }
}

TEST_F(ContactTest, BootLoaderEndsTheRunAtIdentifyWithStatusOne) {
    rm7sim::Options options;
    options.bootLoader = true;
    Build(options);
    EXPECT_EQ(Contact(), 0u);
    EXPECT_EQ(model->firmwareStatus.Get(), kFirmwareBootLoader);
    EXPECT_EQ(model->firmwareVersions.Get(0), 0u);
    EXPECT_EQ(model->WaitingForLoadText(), "RM7 waiting for firmware load on sim0 at 38400 bit/s");
}

// Every device that is not the RM7 is refused, and what identification thought of its firmware
// is forgotten: an R5 must not read as an RM7 waiting for a load.
TEST_F(ContactTest, AnotherDeviceIsRefused) {
    struct Refusal {
        const char* device;
        bool bootLoader;
        TarnwellDevice kindAfter;  // refused by Identify: none; by VerifyExpectedDevice: what "OM;" said
        std::vector<std::string> commands;
    };
    const Refusal refusals[] = {
        {"R5", false, kDeviceNone, {"", "I"}},
        {"R5", true, kDeviceNone, {"", "I"}},
        {"SV1", false, kDeviceNone, {"", "I"}},
        {"RM6", false, kDeviceRM6, {"", "I", "TT0", "RVM", "OM"}},
    };
    for (const Refusal& refusal : refusals) {
        SCOPED_TRACE(std::string(refusal.device) + (refusal.bootLoader ? " boot loader" : ""));
        rm7sim::Options options;
        options.device = refusal.device;
        options.bootLoader = refusal.bootLoader;
        notifier.Clear();
        Build(options);
        EXPECT_EQ(Contact(), kErrUnexpectedDevice);
        EXPECT_EQ(model->firmwareStatus.Get(), kFirmwareNone);
        EXPECT_EQ(model->deviceKind.Get(), refusal.kindAfter);
        EXPECT_EQ(radio->ReceivedCommands(), refusal.commands);
        EXPECT_THAT(notifier.BoxLines(),
                    ElementsAre("Unexpected Device: Connected device does not appear to be an Tarnwell RM7"));
        EXPECT_THAT(notifier.shown,
                    ::testing::Contains("Contact failed 0xe200004e Unexpected device (e.g. R5 vs RM7)\n"));
    }
}

TEST_F(ContactTest, FixedSpeedTheRadioDoesNotUseLoopsWithGrowingWaits) {
    rm7sim::Options options;
    options.speed = 38400;
    Build(options);
    model->fixedSerialSpeed.Set(9600);
    session->Contact().StartAtOpenPort();
    pump.AdvanceBy(60000);
    EXPECT_FALSE(session->Contact().IsIdle());
    EXPECT_TRUE(window.completions.empty());
    // Never a speed other than the fixed one.
    for (std::uint32_t s : port->SpeedHistory()) {
        EXPECT_TRUE(s == 9600 || s == 38400) << s;  // 38400 only as the port opens
    }
    // The radio heard nothing: every poll went out at the wrong speed.
    EXPECT_TRUE(radio->ReceivedCommands().empty());
    session->ClosePort();
}

TEST(ContactLoopTest, LoopingSearchWaitsGrowUpToFiveSeconds) {
    CManualPump pump;
    auto owned = std::make_unique<test::CScriptedPort>(pump);
    test::CScriptedPort* port = owned.get();
    CModel model(pump);
    CRadioSession session(model, std::move(owned));
    model.portName.Set("silent");
    model.fixedSerialSpeed.Set(9600);
    session.Contact().StartAtOpenPort();
    pump.AdvanceBy(105000);
    EXPECT_FALSE(session.Contact().IsIdle());
    // Five polls per circle, each circle's wait half as long again, up to 5000 ms.
    const std::uint32_t waits[] = {100, 150, 225, 337, 505, 757, 1135, 1702, 2553, 3829, 5000, 5000};
    std::uint32_t tick = 0;
    std::size_t i = 0;
    for (std::uint32_t wait : waits) {
        for (int poll = 0; poll < 5 && i < port->sent.size(); ++poll, ++i) {
            EXPECT_EQ(port->sent[i].tick, tick) << "poll " << i;
            EXPECT_EQ(port->sent[i].speed, 9600u);
            EXPECT_EQ(port->sent[i].text, ";");
            tick += wait;
        }
    }
    EXPECT_EQ(i, 60u);
    EXPECT_EQ(port->sent.size(), 60u);
    session.ClosePort();
}

TEST_F(ContactTest, ResumeContactFailsAfterOneCircleWithoutAnAnswer) {
    Build();
    ASSERT_EQ(Contact(), 0u);
    radio->SetSilent(true);
    window.completions.clear();
    session->Contact().StartAtSpeedSearch();
    pump.AdvanceUntil([this] { return !window.completions.empty(); }, 10000);
    EXPECT_THAT(window.completions, ElementsAre(kErrNoResponseAfterReset));
    EXPECT_EQ(model->firmwareStatus.Get(), kFirmwareNone);
}

TEST_F(ContactTest, EmptyPortNameAndRefusedOpen) {
    Build();
    model->portName.Set("");
    EXPECT_EQ(Contact(), kErrPortNameMissing);
    model->portName.Set("sim0");
    port->FailNextOpen(kErrorAccessDenied);
    EXPECT_EQ(Contact(), kErrorAccessDenied);
    EXPECT_EQ(model->portState.Get(), -1);
    EXPECT_THAT(notifier.shown,
                ::testing::Contains(::testing::HasSubstr(
                    "Serial port \"sim0\" access denied; may be in use by another program or USB cable may have been "
                    "removed.")));
}

}  // namespace
}  // namespace rm7
