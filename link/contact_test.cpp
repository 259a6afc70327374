#include "link/contact.h"
#include "link/radio_session.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/error_text.h"
#include "sim/memory_port.h"
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
        EXPECT_THAT(radio->ReceivedCommands(), ElementsAre("", "I", "TT0", "RVM", "OM", "ER83FA0281", "RVD", "TQ"));
    }
}

// A radio left transmitting (a program killed with the carrier keyed) is found so; a damaged
// answer is asked again, and a radio that never says is unknown, the contact a success.
TEST_F(ContactTest, AsksWhetherTheRadioIsTransmittingOnceFound) {
    using TS = CModel::TransmitState;
    struct Case {
        const char* faults;
        bool keyed;
        TS state;
        std::size_t asks;
    } const cases[] = {
        {"", false, TS::kReceiving, 1},
        {"", true, TS::kTransmitting, 1},
        {"garble=TQ", true, TS::kTransmitting, 2},  // TQ1 read as TQB: not taken for receive
        {"garble=TQ", false, TS::kReceiving, 2},
        {"garble=TQ,garble=TQ:2,garble=TQ:3", true, TS::kUnknown, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.faults) + (c.keyed ? " keyed" : ""));
        rm7sim::Options options;
        std::string error;
        ASSERT_TRUE(rm7sim::ParseFaults(c.faults, options.faults, error)) << error;
        Build(options);
        if (c.keyed) {
            const std::string tune = "SWH16;";
            radio->Receive(reinterpret_cast<const std::uint8_t*>(tune.data()), tune.size(), radio->Speed(), 0);
        }
        EXPECT_EQ(Contact(), 0u);
        EXPECT_EQ(model->firmwareStatus.Get(), kFirmwareRunning);
        EXPECT_EQ(model->transmitState, c.state);
        const auto commands = radio->ReceivedCommands();
        EXPECT_EQ(static_cast<std::size_t>(std::count(commands.begin(), commands.end(), "TQ")), c.asks);
        EXPECT_EQ(radio->Transmitting(pump.TickCount()), c.keyed);  // asked, never switched
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

// A load cut short leaves the loader waiting for the rest of a packet: the first circle's
// polls at 38400 bit/s are packet data to it, and ';' fill bytes 50 ms apart complete the
// packet. The loader's 'N' at the boundary ends the run with firmware status 1.
TEST_F(ContactTest, BootLoaderLeftInTheMiddleOfAPacketIsFoundAtItsBoundary) {
    struct Case {
        std::size_t taken;      // bytes of the packet the loader holds at the start
        std::size_t fills;      // fill bytes after the circle's five polls at 38400
        std::uint32_t packets;  // packets the loader completed (and answered)
    };
    const Case cases[] = {
        {1, 126, 1},
        {60, 67, 1},
        {127, 132, 2},  // the fifth poll completes the packet: the fill starts on a boundary
        {131, 128, 2},  // the first poll completes it; its 'N' is no answer to a poll
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.taken);
        rm7sim::Options options;
        options.midPacket = c.taken;
        notifier.status.clear();
        Build(options);
        const std::uint32_t start = pump.TickCount();
        EXPECT_EQ(Contact(), 0u);
        // Twenty polls 100 ms apart, then the fill bytes; the last one's answer ends the run.
        EXPECT_EQ(pump.TickCount() - start, 2000 + (c.fills - 1) * 50);
        EXPECT_EQ(model->firmwareStatus.Get(), kFirmwareBootLoader);
        EXPECT_EQ(model->deviceKind.Get(), kDeviceNone);
        EXPECT_EQ(model->WaitingForLoadText(), "RM7 waiting for firmware load on sim0 at 38400 bit/s");
        EXPECT_EQ(radio->Received(), std::vector<std::uint8_t>(5 + c.fills, ';'));
        EXPECT_EQ(radio->Packets(), c.packets);
        EXPECT_TRUE(radio->ReceivedCommands().empty());
        // The count of fill bytes is for Verbose Logging; the owner reads that the loader answered.
        EXPECT_THAT(notifier.status, ::testing::Contains("RM7 Bootstrap Loader answered at a packet boundary"));
        EXPECT_THAT(notifier.status, ::testing::Not(::testing::Contains(::testing::HasSubstr("fill bytes"))));
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.taken);
        rm7sim::Options options;
        options.midPacket = c.taken;
        notifier.status.clear();
        Build(options);
        model->verboseLogging.Set(1);
        EXPECT_EQ(Contact(), 0u);
        EXPECT_THAT(notifier.status, ::testing::Contains("RM7 Bootstrap Loader answered at a packet boundary after " +
                                                         std::to_string(c.fills) + " fill bytes"));
    }
}

// A radio that comes to life during the fill answers the poll as a radio: it is identified
// and read as in any contact.
TEST_F(ContactTest, RadioThatAnswersAFillByteIsContactedAsUsual) {
    Build();
    radio->SetSilent(true);
    window.completions.clear();
    session->Contact().StartAtOpenPort();
    pump.AdvanceBy(2000 + 10 * 50);
    radio->SetSilent(false);
    pump.AdvanceUntil([this] { return !window.completions.empty(); }, 10000);
    EXPECT_THAT(window.completions, ElementsAre(0u));
    EXPECT_EQ(model->firmwareStatus.Get(), kFirmwareRunning);
    EXPECT_THAT(radio->ReceivedCommands(), ElementsAre("", "I", "TT0", "RVM", "OM", "ER83FA0281", "RVD", "TQ"));
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

// A radio that is off gets one packet's worth of fill bytes a run, after the first circle at
// 38400 bit/s, never more. The search after a load, which gives up after one circle, so
// fails 6600 ms later than the circle alone would (8600 ms in all).
TEST(ContactOffTest, FillBytesGoOutOnceARunAfterTheFirstCircle) {
    using Runs = std::vector<std::pair<std::uint32_t, std::size_t>>;  // (speed, sends) in order
    const Runs circle = {{38400, 5}, {19200, 5}, {9600, 5}, {4800, 5}};
    auto join = [](std::initializer_list<Runs> parts) {
        Runs all;
        for (const Runs& part : parts) {
            all.insert(all.end(), part.begin(), part.end());
        }
        return all;
    };
    struct Case {
        bool loop;  // the contact from the port page; otherwise the search after a load
        std::uint32_t runMs;
        Runs runs;
    };
    const Case cases[] = {
        {false, 20000, join({circle, {{38400, 132}}})},
        // The loop's next circles poll as before, five sends a speed: its second circle
        // begins at 38400 right after the fill.
        {true, 16000, join({circle, {{38400, 132 + 5}, {19200, 5}, {9600, 5}, {4800, 5}}, circle})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.loop);
        CManualPump pump;
        CRecordingWindow window;
        auto owned = std::make_unique<test::CScriptedPort>(pump);
        test::CScriptedPort* port = owned.get();
        CModel model(pump);
        CRadioSession session(model, std::move(owned));
        CObservation observation(model.portEvent, &window);
        model.portName.Set("silent");
        if (c.loop) {
            session.Contact().StartAtOpenPort();
        } else {
            ASSERT_EQ(session.OpenSerialPort("silent"), kOk);
            session.Contact().StartAtSpeedSearch();
        }
        pump.AdvanceBy(c.runMs);
        Runs runs;
        for (const test::Sent& sent : port->sent) {
            EXPECT_EQ(sent.text, ";");
            if (runs.empty() || runs.back().first != sent.speed) {
                runs.push_back({sent.speed, 0});
            }
            ++runs.back().second;
        }
        EXPECT_EQ(runs, c.runs);
        // The fill bytes go out 50 ms apart, after the circle's last 100 ms wait.
        ASSERT_GE(port->sent.size(), 152u);
        for (std::size_t i = 20; i < 152; ++i) {
            EXPECT_EQ(port->sent[i].tick, 2000 + (i - 20) * 50) << i;
        }
        if (c.loop) {
            EXPECT_FALSE(session.Contact().IsIdle());
            EXPECT_TRUE(window.completions.empty());
            EXPECT_EQ(port->sent[152].tick, 2000u + 132 * 50);
        } else {
            EXPECT_THAT(window.completions, ElementsAre(kErrNoResponseAfterReset));
            EXPECT_EQ(model.firmwareStatus.Get(), kFirmwareNone);
        }
        session.ClosePort();
    }
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

    // Each refusal is told as its own cause, in the system's words: a busy port never as a
    // permission problem, no OS failure in another platform's words.
    struct Case {
        Result code;
        std::string says;
        const char* never;
    };
    const Case cases[] = {
        {kErrorAccessDenied,
         "Serial port \"sim0\" access denied; may be in use by another program or USB cable may have been removed.",
         "busy"},
        {kErrorBusy, "Serial port \"sim0\" is busy: in use by another program", "ccess denied"},
        // The system's own words for the code: errno's here, FormatMessage's on Windows.
        {kErrorFileNotFound, "Unable to open serial port \"sim0\". Error 0x00000002: " + ErrorText(kErrorFileNotFound),
         "ccess denied"},
    };
    model->portName.Set("sim0");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.says);
        notifier.shown.clear();
        port->FailNextOpen(c.code);
        EXPECT_EQ(Contact(), c.code);
        EXPECT_EQ(model->portState.Get(), -1);
        EXPECT_THAT(notifier.shown, ::testing::Contains(c.says));
        EXPECT_THAT(notifier.shown, ::testing::Not(::testing::Contains(::testing::HasSubstr(c.never))));
    }
}

}  // namespace
}  // namespace rm7
