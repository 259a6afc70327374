// TX gain calibration against the in-process simulated radio in virtual time: every run, however
// it ends, leaves the radio in receive with every setting as it was.
#include "txgain/txgc_machine.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <utility>

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

// The bench's radio with the faults of an rm7-sim --faults list.
rm7sim::Options WithFaults(const std::string& list) {
    auto options = CRadioBench::DefaultOptions();
    std::string error;
    EXPECT_TRUE(rm7sim::ParseFaults(list, options.faults, error)) << error;
    return options;
}

std::size_t CountOf(const std::vector<std::string>& lines, const std::string& text) {
    return static_cast<std::size_t>(std::count(lines.begin(), lines.end(), text));
}

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
    rig.bench.SetEeprom(kBandEdges60mAddress, std::string("\x04\x3C\x00\x00\x00\x04\x46\x00\x00\x00", 10));
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

// A run that ends with a fault's own code: it says so, puts every setting back, leaves the radio
// in receive and keys no carrier the fault did not allow.
TEST(TXGCRun, AFaultEndsWithItsCodeAfterTheRestore) {
    struct Case {
        const char* name;
        const char* faults;             // rm7-sim's --faults list
        void (*setUp)(rm7sim::Radio&);  // before the run, besides MessUp
        bool messUp;
        void (*whileRunning)(Rig&);  // just after the start
        Result result;
        const char* line;                                           // a line the log holds, or none
        std::vector<std::pair<std::string, std::size_t>> commands;  // how often each went out
        std::uint32_t carriers;                                     // carriers keyed in all
    };
    const Case cases[] = {
        {"power that never settles",
         "txpower=0",
         nullptr,
         true,
         nullptr,
         kErrNotConverged,
         "Power did not settle\nSample values:\n",
         {{"DB", 21}, {"SWH16", 1}},  // the twenty-first test is the last
         1},                          // band 0's, which never settled
        {"transverter band is never taken",
         "",
         [](rm7sim::Radio& radio) { radio.Tx().SetBand(17); },
         true,
         nullptr,
         kErrNoResponseBN,
         nullptr,
         {{"BN", 8}},  // the retry limit
         0},
        {"TX TEST refused before anything changes",
         "",
         [](rm7sim::Radio& radio) { radio.Tx().SetTxTest(true); },
         false,
         nullptr,
         kErrTxNorm,
         "TX Gain Calibration requires TX NORM, not TX TEST",
         {},
         0},
        // Leaves room for the preparation's seven entries and three of the first band's: its
        // power is never changed.
        {"full stack ends the run before another change",
         "",
         nullptr,
         true,
         [](Rig& rig) {
             for (int i = 0; i < 15; ++i) {
                 ASSERT_TRUE(rig.machine.PushRestoreEntry("AN2;", "AN;", kErrNoResponseAN, 0));
             }
         },
         kErrRestoreStackFull,
         nullptr,
         {},
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig(WithFaults(c.faults));
        if (c.messUp) {
            MessUp(rig.Radio());
        }
        if (c.setUp != nullptr) {
            c.setUp(rig.Radio());
        }
        const std::string before = rig.Settings();
        ASSERT_TRUE(rig.Start());
        if (c.whileRunning != nullptr) {
            c.whileRunning(rig);
        }
        EXPECT_EQ(rig.Finish(), c.result);
        EXPECT_EQ(rig.machine.RestoreDepth(), 0u);
        EXPECT_EQ(rig.Settings(), before);
        EXPECT_FALSE(rig.Transmitting());
        if (c.line != nullptr) {
            EXPECT_TRUE(rig.Logged(c.line));
        }
        const auto commands = rig.Commands();
        for (const auto& [command, times] : c.commands) {
            EXPECT_EQ(CountOf(commands, command), times) << command;
        }
        EXPECT_EQ(rig.Radio().Tx().Carriers(), c.carriers);
    }
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

TEST(TXGCParse, AnswersAreTakenOnlyWhole) {
    struct Case {
        const char* query;
        std::string answer;
        bool wellFormed;
    } const cases[] = {
        {"BN;", "BN05;", true},          {"BN;", "BN0F;", false},  // a digit turned into a letter
        {"BN;", "BN5;", false},          {"BN;", "bn10;", true},
        {"FA;", "FA00003573000;", true}, {"FA;", "FA0000357300A;", false},
        {"FA;", "FA0000357300;", false}, {"FB;", "FB00003574000;", true},
        {"RO;", "RO+0120;", true},       {"RO;", "RO-0000;", true},
        {"RO;", "RO 0120;", false},      {"RO;", "RO+01C0;", false},
        {"RT;", "RT1;", true},           {"XT;", "XTB;", false},
        {"R4;", "R40;", true},           {"AN;", "AN2;", true},
        {"AN;", "ANC;", false},          {"MP;", "MP005;", true},
        {"MP;", "MP00F;", false},        {"PC;", "PC010;", true},
        {"PC;", "PC01A;", false},        {"PC;", "?;", false},
        {"TQ;", "TQ1;", true},           {"TQ;", "TQB;", false},
        {"TQ;", "TQ1", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(WellFormedAnswer(c.query, c.answer), c.wellFormed) << c.query << " " << c.answer;
    }
    for (const std::string power : {"DB  4.0 W;", "DB 10.0 W;", "DB100.0 W;", "DB  END;", "DBBND END;"}) {
        EXPECT_TRUE(WellFormedPowerAnswer(power)) << power;
    }
    for (const std::string power : {"DB  4.A W;", "DB  E.0 W;", "DB1 4.0 W;", "DB  4.0W;", "DS  4.0 W;"}) {
        EXPECT_FALSE(WellFormedPowerAnswer(power)) << power;
    }
    for (const std::string swr : {"DS@@@1\xB1@@>;", "DS@@@3\xB2@@>;", "DS@@@@@ON>;", "DS@@@1\xB5@@@;"}) {
        EXPECT_TRUE(WellFormedSwrAnswer(swr)) << PrintableForm(swr);
    }
    // A damaged figure must not pass for "no SWR shown" (which passes the check).
    for (const std::string swr : {"DS@@@D\xB2@@>;", "DS@@@3B@@>;", "XS@@@1\xB1@@>;"}) {
        EXPECT_FALSE(WellFormedSwrAnswer(swr)) << PrintableForm(swr);
    }
}

TEST(TXGCParse, WhatToPutBackByHandNamesTheSettingAndItsValue) {
    struct Case {
        RestoreEntry entry;
        const char* text;
    } const cases[] = {
        {{"FB00003574000;", "FB;", kErrNoResponseFB, 0}, "VFO B was not put back: set it to 3.574 MHz by hand"},
        {{"FA00014074500;", "FA;", kErrNoResponseFA, 0}, "VFO A was not put back: set it to 14.0745 MHz by hand"},
        {{"BN05;", "BN;", kErrNoResponseBN, 0}, "The band was not put back: select the 20 m band by hand"},
        {{"PC010;", "PC;", kErrNoResponsePC, 0}, "The RF power was not put back: set it to 10 W by hand"},
        {{"AN2;", "AN;", kErrNoResponseAN, 0}, "The antenna was not put back: select ANT 2 by hand"},
        {{"RT1;", "RT;", kErrNoResponseRT, 0}, "RIT was not put back: turn it on by hand"},
        {{"XT1;", "XT;", kErrNoResponseXT, 0}, "XIT was not put back: turn it on by hand"},
        {{"RO+0120;", "RO;", kErrNoResponseRO, 0}, "The RIT offset was not put back: set it to +120 Hz by hand"},
        {{"MN058;", "MP005;", kErrNoResponseMP, 2}, "Menu 58 was not put back: set it to 5 by hand"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(NotRestoredText(c.entry), c.text) << c.entry.command;
    }
}

// One damaged answer to any query the run saves or acts on is asked again: the run succeeds,
// every band is calibrated and every setting is back as the user had it.
TEST(TXGCFaults, OneDamagedAnswerIsAskedAgainAndNeverTakenAsTheUsersValue) {
    const char* const faults[] = {
        "garble=BN",    // the user's band (BN05 read as BN0F was taken as band 0)
        "garble=BN:2",  // the first band's read-back
        "garble=PC",    // the user's power (PC010 read as PC01A)
        "garble=PC:2",  // the 4 W read-back
        "garble=AN",    // the user's antenna (AN2 read as ANC)
        "garble=MP",    // the user's tune power (MP005 read as MP00F)
        "garble=MP:2",  // the tuner menu
        "garble=FA", "garble=FB:2", "garble=RO", "garble=RT", "garble=XT", "garble=R4",
        // The carrier's confirmations and the "GetTX" polls of the first bands (a damaged
        // TQ1 in "GetTX" skipped the rest of the band).
        "garble=TQ:2", "garble=TQ:3", "garble=TQ:9", "garble=TQ:14", "garble=TQ:20", "garble=TQ:30",
        "garble=DB:2",  // a power reading
        "garble=DS",    // the SWR
    };
    for (const char* fault : faults) {
        SCOPED_TRACE(fault);
        Rig rig(WithFaults(fault));
        MessUp(rig.Radio());
        rig.Radio().Tx().SetMenuParameter(58, 5);
        const std::string before = rig.Settings();
        ASSERT_TRUE(rig.Start());
        EXPECT_EQ(rig.Finish(), kOk);
        EXPECT_EQ(rig.Settings(), before);
        EXPECT_FALSE(rig.Transmitting());
        EXPECT_EQ(rig.Radio().MenuOpen(), 255);
        EXPECT_EQ(rig.Radio().Tx().Carriers(), 23u);
        for (const BandOutcome& band : rig.machine.Bands()) {
            EXPECT_EQ(band.steps, 2u) << band.kHz;
        }
        EXPECT_TRUE(rig.Logged(kCalibrationSucceededText));
    }
}

// A restore entry whose read-back never confirms it is a failure that says what to do by hand;
// in a band it ends the run before the next band (whose saves would take the run's values for
// the user's), and the rest is still put back.
TEST(TXGCFaults, RestoreTheRadioDoesNotConfirmFailsNamingTheSetting) {
    struct Case {
        const char* query;       // whose read-backs are damaged
        bool last;               // the run's last one (the preparation's entry), else the first band's
        const char* text;        // what the person is told
        std::uint32_t carriers;  // carriers keyed in all
    } const cases[] = {
        {"FB", true, "VFO B was not put back: set it to 14.075 MHz by hand", 23},
        {"PC", false, "The RF power was not put back: set it to 10 W by hand", 2},
        {"AN", false, "The antenna was not put back: select ANT 2 by hand", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.query);
        // Where the read-back falls: counted on a clean run.
        std::size_t first = 0;
        {
            Rig clean;
            MessUp(clean.Radio());
            ASSERT_TRUE(clean.Start());
            ASSERT_EQ(clean.Finish(), kOk);
            const auto commands = clean.Commands();
            const std::size_t all = CountOf(commands, c.query);
            if (c.last) {
                first = all;
            } else {
                // The first band's read-back is the last of its queries before the second band.
                const auto second = std::find(commands.begin(), commands.end(), "BN01");
                first = static_cast<std::size_t>(std::count(commands.begin(), second, c.query));
            }
        }
        std::string list;
        for (std::uint32_t i = 0; i < 8; ++i) {  // every send the retry limit allows
            list += StrFormat("%sgarble=%s:%zu", i == 0 ? "" : ",", c.query, first + i);
        }
        Rig rig(WithFaults(list));
        MessUp(rig.Radio());
        const std::string before = rig.Settings();
        ASSERT_TRUE(rig.Start());
        EXPECT_EQ(rig.Finish(), kErrSettingNotRestored);
        EXPECT_EQ(CountOf(rig.bench.window.log, c.text), 1u);
        EXPECT_TRUE(rig.Logged(ErrorText(kErrSettingNotRestored)));
        EXPECT_TRUE(rig.Logged(kCalibrationFailedText));
        EXPECT_FALSE(rig.Logged(kCalibrationSucceededText));
        EXPECT_THAT(rig.machine.SummaryText(), HasSubstr(c.text));
        // The radio took the setting; only its word for it was lost: nothing else is left behind.
        EXPECT_EQ(rig.Settings(), before);
        EXPECT_FALSE(rig.Transmitting());
        EXPECT_EQ(rig.Radio().Tx().Carriers(), c.carriers);
    }
}

// A band whose carrier stopped is never a success: the run goes on with the other bands and then
// fails naming it and why. A band the radio reports out of band (it may not transmit there) is
// named too, but the run succeeds, or a radio without 60 m could never be calibrated.
TEST(TXGCFaults, SkippedBandIsNamedAndAStoppedCarrierFailsTheRun) {
    struct Case {
        const char* fault;
        std::uint32_t band;
        const char* text;
        Result result;
    } const cases[] = {
        {"tunestop=3", 3, "The 40 m band (7.100 MHz) was not calibrated: its TUNE carrier stopped",
         kErrBandNotCalibrated},
        {"outofband=2", 2, "The 60 m band (5.400 MHz) was not calibrated: the radio reports it out of band", kOk},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        Rig rig(WithFaults(c.fault));
        MessUp(rig.Radio());
        const std::string before = rig.Settings();
        ASSERT_TRUE(rig.Start());
        EXPECT_EQ(rig.Finish(), c.result);
        EXPECT_EQ(CountOf(rig.bench.window.log, c.text), 1u);
        EXPECT_EQ(rig.Logged(ErrorText(kErrBandNotCalibrated)), c.result != kOk);
        EXPECT_EQ(rig.Logged(kCalibrationFailedText), c.result != kOk);
        EXPECT_EQ(rig.Logged(kCalibrationSucceededText), c.result == kOk);
        EXPECT_THAT(rig.machine.SummaryText(), HasSubstr(c.text));
        EXPECT_EQ(rig.Settings(), before);
        EXPECT_FALSE(rig.Transmitting());
        ASSERT_EQ(rig.machine.Bands().size(), 11u);
        for (const BandOutcome& band : rig.machine.Bands()) {
            EXPECT_EQ(band.steps, band.index == c.band ? 0u : 2u) << band.kHz;
            EXPECT_EQ(band.skipped, band.index == c.band) << band.kHz;
        }
    }
}

// A Cancel that arrives while the tune power answer equals its target: the menu is still left.
TEST(TXGCFaults, CancelBeforeTheMenuIsLeftStillLeavesIt) {
    Rig rig;
    ASSERT_TRUE(rig.Start());
    ASSERT_TRUE(rig.bench.pump.AdvanceUntil(
        [&rig] {
            const auto commands = rig.Commands();
            return std::find(commands.begin(), commands.end(), "MP") != commands.end();
        },
        10000));
    ASSERT_EQ(rig.Radio().MenuOpen(), 58);
    EXPECT_TRUE(rig.machine.Cancel());
    EXPECT_EQ(rig.Finish(), kErrorCancelled);
    EXPECT_EQ(rig.Radio().MenuOpen(), 255);
    EXPECT_EQ(rig.Commands().back(), "TQ");  // and asked whether it is in receive
}

// However a run ends, "TQ;" confirms receive at its end; a radio that never answers it is said
// to be possibly transmitting, once.
TEST(TXGCFaults, EveryRunEndsAskingWhetherTheRadioIsInReceive) {
    {
        Rig rig;
        rig.Radio().Tx().SetTxTest(true);
        ASSERT_TRUE(rig.Start());
        EXPECT_EQ(rig.Finish(), kErrTxNorm);
        EXPECT_EQ(rig.Commands().back(), "TQ");
        EXPECT_FALSE(rig.machine.MayStillTransmit());
        EXPECT_FALSE(rig.Logged(kMayStillTransmitText));
    }
    {
        Rig rig;
        rig.Radio().Tx().SetTxTest(true);
        ASSERT_TRUE(rig.Start());
        ASSERT_TRUE(rig.bench.pump.AdvanceUntil(
            [&rig] {
                const auto commands = rig.Commands();
                return std::find(commands.begin(), commands.end(), "IC") != commands.end();
            },
            10000));
        rig.Radio().SetSilent(true);  // answers IC, then nothing more
        EXPECT_EQ(rig.Finish(), kErrTxNorm);
        EXPECT_TRUE(rig.machine.MayStillTransmit());
        EXPECT_EQ(CountOf(rig.bench.window.log, kMayStillTransmitText), 1u);
        EXPECT_EQ(rig.machine.SummaryText(),
                  ErrorText(kErrTxNorm) + "\n" + kMayStillTransmitText + "\n" + kCalibrationFailedText + "\n");
    }
    {
        // A run that did everything else right, whose closing "TQ;" is never answered whole: not a
        // success.
        std::size_t asks = 0;
        {
            Rig clean;
            ASSERT_TRUE(clean.Start());
            ASSERT_EQ(clean.Finish(), kOk);
            asks = CountOf(clean.Radio().ReceivedCommands(), "TQ");  // the contact's ask too
        }
        std::string list;
        for (std::uint32_t i = 0; i < 8; ++i) {
            list += StrFormat("%sgarble=TQ:%zu", i == 0 ? "" : ",", asks + i);
        }
        Rig rig(WithFaults(list));
        ASSERT_TRUE(rig.Start());
        EXPECT_EQ(rig.Finish(), kErrNoResponseTQ);
        EXPECT_TRUE(rig.machine.MayStillTransmit());
        EXPECT_EQ(CountOf(rig.bench.window.log, kMayStillTransmitText), 1u);
        EXPECT_FALSE(rig.Logged(kCalibrationSucceededText));
        EXPECT_EQ(CountOf(rig.Radio().ReceivedCommands(), "TQ"), asks + 7);
    }
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
