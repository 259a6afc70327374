// TX gain calibration against the in-process simulated radio in virtual time: every run, however
// it ends, leaves the radio in receive with every setting as it was.
#include "txgain/txgc_machine.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "platform/error_text.h"
#include "tests/support/radio_bench.h"

namespace rm7 {
namespace {

using test::BenchStart;
using test::CRadioBench;
using ::testing::HasSubstr;

// A calibration machine on a contacted bench, its log kept.
struct Rig {
    explicit Rig(rm7sim::Options options = CRadioBench::DefaultOptions())
        : bench(BenchStart::Contacted, options), machine(*bench.session) {
        machine.SetLogTarget(&bench.window);
        bench.session->SetActiveMachine(&machine);
        bench.window.completions.clear();
    }
    ~Rig() { bench.session->SetActiveMachine(nullptr); }

    rm7sim::Radio& Radio() { return *bench.radio; }
    std::string Settings() { return Radio().SettingsText(bench.pump.TickCount()); }
    bool Transmitting() { return Radio().Transmitting(bench.pump.TickCount()); }
    bool Start() { return machine.StartCalibration(0); }
    // Runs to the completion notice; its result.
    Result Finish(std::uint32_t maxMs = 30 * 60 * 1000) {
        bench.pump.AdvanceUntil([this] { return !bench.window.completions.empty(); }, maxMs);
        EXPECT_EQ(bench.window.completions.size(), 1u);
        return bench.window.completions.empty() ? 0xFFFFFFFF : bench.window.completions.back();
    }
    bool Logged(const std::string& text) const {
        const auto& log = bench.window.log;
        return std::find(log.begin(), log.end(), text) != log.end();
    }
    std::vector<std::string> Commands() { return bench.JobCommands(); }

    CRadioBench bench;
    CTXGCStateMachine machine;
};

// The radio as a user might leave it: band 5, RIT and XIT on, a RIT offset, antenna 2, 10 W.
void MessUp(rm7sim::Radio& radio) {
    radio.Tx().SetBand(5);
    radio.Tx().SetRit(true);
    radio.Tx().SetXit(true);
    radio.Tx().SetRitOffset(120);
    radio.Tx().SetAntenna(2);
    radio.Tx().SetMenuParameter(58, 3);
}

TEST(TXGCParse, SwrAndFrequency) {
    struct Swr {
        std::string answer;
        std::uint32_t tenths;
    } const swrs[] = {
        {"DS@@@1\xB5@@>;", 15}, {"DS@@@2\xB0@@>;", 20}, {"DS@@@1\xB5@@@;", 0},  // no '>': none shown
        {"DS@@@@@ON>;", 0},     {"XX@@@1\xB5>;", 0},    {"DS@1@2\xB3>;", 123},
    };
    for (const Swr& s : swrs) {
        EXPECT_EQ(ParseSwrTenths(s.answer), s.tenths) << s.answer;
    }
    const std::uint8_t alaska[10] = {4, 60, 0, 0, 0, 4, 70, 0, 0, 0};  // 4,600,000 and 4,700,000 Hz
    const std::uint8_t usa[10] = {5, 33, 0, 0, 0, 5, 41, 0, 0, 0};
    const std::uint8_t erased[10] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(CalibrationKHz(2, alaska), 4630u);
    EXPECT_EQ(CalibrationKHz(2, usa), 5400u);
    EXPECT_EQ(CalibrationKHz(2, erased), 5400u);
    EXPECT_EQ(CalibrationKHz(3, alaska), 7100u);
    EXPECT_EQ(CalibrationKHz(10, usa), 52000u);
}

TEST(TXGCRun, CompleteRunPutsEverySettingBackBandByBand) {
    Rig rig;
    MessUp(rig.Radio());
    rig.bench.SetEeprom(CTXGCStateMachine::kEdgesAddress, std::string("\x04\x3C\x00\x00\x00\x04\x46\x00\x00\x00", 10));
    const std::string before = rig.Settings();
    const std::uint32_t startTick = rig.bench.pump.TickCount();
    ASSERT_TRUE(rig.Start());
    EXPECT_EQ(rig.Finish(), kOk);

    EXPECT_EQ(rig.Settings(), before);
    EXPECT_FALSE(rig.Transmitting());
    EXPECT_EQ(rig.Radio().Tx().Carriers(), 23u);  // eleven bands at two steps, and the tuner on the last
    EXPECT_EQ(rig.machine.RestoreDepth(), 0u);
    ASSERT_EQ(rig.machine.Bands().size(), 11u);
    for (const BandOutcome& band : rig.machine.Bands()) {
        EXPECT_EQ(band.steps, 2u) << band.kHz;
        EXPECT_EQ(band.swrTenths, 11u) << band.kHz;
    }
    EXPECT_EQ(rig.machine.Bands()[2].kHz, 4630u);
    EXPECT_TRUE(rig.Logged("Calibrating at 4.630 MHz"));

    // Within each band its own changes are undone before the next band is chosen.
    const auto commands = rig.Commands();
    std::vector<std::size_t> bandSets;
    for (std::size_t i = 0; i < commands.size(); ++i) {
        if (commands[i].size() == 4 && commands[i].starts_with("BN") && commands[i] != "BN17") {
            bandSets.push_back(i);
        }
    }
    ASSERT_EQ(bandSets.size(), 12u);  // eleven bands, then the user's band back
    EXPECT_EQ(commands[bandSets.back()], "BN05");
    for (std::size_t b = 1; b < bandSets.size(); ++b) {
        const std::vector<std::string> between(commands.begin() + static_cast<std::ptrdiff_t>(bandSets[b - 1]),
                                               commands.begin() + static_cast<std::ptrdiff_t>(bandSets[b]));
        const auto at = [&between](const std::string& c) {
            return std::find(between.begin(), between.end(), c) - between.begin();
        };
        const auto last = static_cast<std::ptrdiff_t>(between.size());
        // Power back after the carrier, antenna 2 back after power, in reverse order of change.
        EXPECT_LT(at("RX"), at("PC010")) << b;
        EXPECT_LT(at("PC010"), at("AN2")) << b;
        EXPECT_LT(at("AN2"), last) << b;
    }

    // Elapsed seconds are the run's, rounded.
    const std::uint32_t ms = rig.bench.pump.TickCount() - startTick;
    EXPECT_TRUE(rig.Logged(StrFormat(kElapsedTimeFormat, (ms + 500) / 1000)));
    EXPECT_TRUE(rig.Logged(kCalibrationSucceededText));
    EXPECT_EQ(rig.machine.SummaryText(), std::string(kCalibrationSucceededText) + "\n");
}

TEST(TXGCRun, RadioAlreadyAtTargetsPushesNothingForThem) {
    Rig rig;
    rig.Radio().Tx().SetRitOffset(0);
    rig.bench.model->trace.Set(1);
    ASSERT_TRUE(rig.Start());
    EXPECT_EQ(rig.Finish(), kOk);
    // "RO+0000;" is not the radio's zero answer "RO-0000;": pushed and put back; R4, RT, XT,
    // AN and the tune power menu were already where the run wants them.
    std::vector<std::string> pushes;
    for (const std::string& line : rig.bench.window.log) {
        if (line.starts_with("TXGCStateMachine::PushRestoreEntry ")) {
            pushes.push_back(line);
        }
    }
    EXPECT_THAT(pushes, ::testing::Contains(HasSubstr("RO+0000; RO; 0")));
    for (const char* unchanged : {"R40;", "RT0;", "XT0;", "AN1;", "MN058;"}) {
        EXPECT_THAT(pushes, ::testing::Not(::testing::Contains(HasSubstr(unchanged)))) << unchanged;
    }
}

TEST(TXGCRun, FailureInSecondBandRestoresThatBandThenThePreparation) {
    auto options = CRadioBench::DefaultOptions();
    options.faults.swrBand = 1;
    Rig rig(options);
    MessUp(rig.Radio());
    rig.bench.model->trace.Set(1);
    const std::string before = rig.Settings();
    ASSERT_TRUE(rig.Start());
    EXPECT_EQ(rig.Finish(), kErrSwrTooHigh);

    EXPECT_EQ(rig.Settings(), before);
    EXPECT_FALSE(rig.Transmitting());
    EXPECT_TRUE(rig.Logged("SWR 3.2-1 is too high for calibration"));
    EXPECT_TRUE(rig.Logged("Verify that a dummy load is attached to ANT 1"));
    EXPECT_TRUE(rig.Logged(ErrorText(kErrSwrTooHigh)));
    EXPECT_TRUE(rig.Logged(kCalibrationFailedText));
    EXPECT_EQ(rig.machine.SummaryText(), "SWR 3.2-1 is too high for calibration\n" + ErrorText(kErrSwrTooHigh) + "\n" +
                                             kCalibrationFailedText + "\n");

    // Every pop takes the entry on top: what a band pushed comes off after it, and after the
    // failure the rest, the preparation's first push last.
    std::vector<std::string> stack;
    std::size_t pops = 0;
    for (const std::string& line : rig.bench.window.log) {
        char command[64] = {};
        char query[64] = {};
        unsigned depth = 0;
        unsigned kind = 0;
        unsigned code = 0;
        if (std::sscanf(line.c_str(), "TXGCStateMachine::PushRestoreEntry %u %63s %63s %u", &depth, command, query,
                        &kind) == 4) {
            EXPECT_EQ(depth, stack.size());
            stack.push_back(std::string(command) + " " + query);
        } else if (std::sscanf(line.c_str(), "Restore Pop %u %63s %63s 0x%X %u", &depth, command, query, &code,
                               &kind) == 5) {
            ASSERT_FALSE(stack.empty());
            EXPECT_EQ(stack.back(), std::string(command) + " " + query);
            stack.pop_back();
            EXPECT_EQ(depth, stack.size());
            ++pops;
        }
    }
    EXPECT_TRUE(stack.empty());
    EXPECT_GE(pops, 12u);
    const auto commands = rig.Commands();
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "SWH16"), 3);  // band 0 twice, band 1 once
}

TEST(TXGCRun, PowerThatNeverSettlesEndsWithItsCodeAfterTheRestore) {
    auto options = CRadioBench::DefaultOptions();
    options.faults.txpowerBand = 0;
    Rig rig(options);
    MessUp(rig.Radio());
    const std::string before = rig.Settings();
    ASSERT_TRUE(rig.Start());
    EXPECT_EQ(rig.Finish(), kErrNotConverged);
    EXPECT_EQ(rig.Settings(), before);
    EXPECT_FALSE(rig.Transmitting());
    EXPECT_TRUE(rig.Logged("Power did not settle\nSample values:\n"));
    const auto commands = rig.Commands();
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "DB"), 21);  // the twenty-first test is the last
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "SWH16"), 1);
}

TEST(TXGCRun, TransverterBandIsNeverTakenAndWhatWasChangedGoesBack) {
    Rig rig;
    MessUp(rig.Radio());
    rig.Radio().Tx().SetBand(17);
    const std::string before = rig.Settings();
    ASSERT_TRUE(rig.Start());
    EXPECT_EQ(rig.Finish(), kErrNoResponseBN);
    EXPECT_EQ(rig.Settings(), before);
    const auto commands = rig.Commands();
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "BN"), 8);  // the retry limit
    EXPECT_EQ(rig.Radio().Tx().Carriers(), 0u);
}

TEST(TXGCRun, TxTestRefusedBeforeAnythingChanges) {
    Rig rig;
    rig.Radio().Tx().SetTxTest(true);
    const std::string before = rig.Settings();
    ASSERT_TRUE(rig.Start());
    EXPECT_EQ(rig.Finish(), kErrTxNorm);
    EXPECT_TRUE(rig.Logged("TX Gain Calibration requires TX NORM, not TX TEST"));
    EXPECT_EQ(rig.Settings(), before);
    EXPECT_EQ(rig.Radio().Tx().Carriers(), 0u);
}

TEST(TXGCRun, CancelWhileKeyedStopsTheCarrierAndRestores) {
    Rig rig;
    MessUp(rig.Radio());
    const std::string before = rig.Settings();
    ASSERT_TRUE(rig.Start());
    // Into the third band's carrier.
    ASSERT_TRUE(rig.bench.pump.AdvanceUntil([&rig] { return rig.Radio().Tx().Carriers() == 5 && rig.Transmitting(); },
                                            10 * 60 * 1000));
    EXPECT_FALSE(rig.Start());  // a second start is refused and leaves the run alone
    EXPECT_EQ(GetLastError(), kErrBusyStateMachine);
    EXPECT_EQ(rig.machine.GetResult(), kOk);
    EXPECT_TRUE(rig.machine.Cancel());
    EXPECT_EQ(rig.Finish(), kErrorCancelled);
    EXPECT_EQ(rig.Settings(), before);
    EXPECT_FALSE(rig.Transmitting());
    EXPECT_EQ(rig.Radio().Tx().Carriers(), 5u);  // never keyed again after the cancel
}

TEST(TXGCRun, PortLostWhileKeyedSaysTheRadioMayStillTransmit) {
    auto options = CRadioBench::DefaultOptions();
    options.faults.unplugAtTune = true;
    Rig rig(options);
    ASSERT_TRUE(rig.Start());
    EXPECT_EQ(rig.Finish(), kErrPortGone);
    EXPECT_TRUE(rig.machine.MayStillTransmit());
    EXPECT_TRUE(rig.Logged(kMayStillTransmitText));
    EXPECT_TRUE(rig.Logged(kCalibrationFailedText));
    EXPECT_THAT(rig.machine.SummaryText(), HasSubstr(kMayStillTransmitText));
}

TEST(TXGCRun, FullStackEndsTheRunBeforeAnotherChangeAndRestores) {
    Rig rig;
    MessUp(rig.Radio());
    const std::string before = rig.Settings();
    ASSERT_TRUE(rig.Start());
    // Leaves room for the preparation's seven entries and three of the first band's: its power
    // is never changed.
    for (int i = 0; i < 15; ++i) {
        ASSERT_TRUE(rig.machine.PushRestoreEntry("AN2;", "AN;", kErrNoResponseAN, 0));
    }
    EXPECT_EQ(rig.Finish(), kErrRestoreStackFull);
    EXPECT_EQ(rig.machine.RestoreDepth(), 0u);
    EXPECT_EQ(rig.Settings(), before);
    EXPECT_FALSE(rig.Transmitting());
    EXPECT_EQ(rig.Radio().Tx().Carriers(), 0u);
}

TEST(TXGCStack, TwentyFiveEntriesAtMost) {
    Rig rig;
    for (std::uint32_t i = 0; i < CTXGCStateMachine::kRestoreDepth; ++i) {
        EXPECT_TRUE(rig.machine.PushRestoreEntry("XT1;", "XT;", kErrNoResponseXT, 0));
    }
    EXPECT_FALSE(rig.machine.PushRestoreEntry("XT1;", "XT;", kErrNoResponseXT, 0));
    EXPECT_EQ(rig.machine.RestoreDepth(), CTXGCStateMachine::kRestoreDepth);
}

}  // namespace
}  // namespace rm7
