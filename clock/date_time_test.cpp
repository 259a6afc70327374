// The radio's clock: the step rule, the display parse, and the machine and sheet job against the
// in-process simulated radio in virtual time, where the computer's clock is the pump's.
#include "clock/date_time_job.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "platform/error_text.h"
#include "platform/settings.h"
#include "tests/support/radio_bench.h"
#include "tests/support/recorded_field.h"
#include "tests/support/recording_job_view.h"
#include "tests/support/temp_folder.h"

namespace rm7 {
namespace {

using test::BenchStart;
using test::CRadioBench;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::string Repeat(const char* step, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) {
        out += step;
    }
    return out;
}

TEST(ClockSteps, OneFieldThePassShorterWayAtMostFifteenSteps) {
    struct Case {
        TimeOfDay radio;
        TimeOfDay computer;
        std::string command;
    } const cases[] = {
        {{12, 0, 12}, {12, 0, 10}, "SWT20;" + Repeat("DN;", 2)},
        {{12, 0, 10}, {12, 0, 13}, "SWT20;" + Repeat("UP;", 3)},
        {{12, 0, 58}, {12, 0, 2}, "SWT20;" + Repeat("UP;", 4)},    // round through 00
        {{12, 0, 50}, {12, 0, 10}, "SWT20;" + Repeat("UP;", 15)},  // 20 up, limited
        {{12, 0, 40}, {12, 0, 10}, "SWT20;" + Repeat("DN;", 15)},  // half the modulus: direct, limited
        {{12, 0, 10}, {12, 0, 40}, "SWT20;" + Repeat("UP;", 15)},
        {{12, 5, 0}, {12, 7, 0}, "SWT27;" + Repeat("UP;", 2)},
        {{12, 2, 0}, {12, 58, 0}, "SWT27;" + Repeat("DN;", 4)},
        {{23, 0, 0}, {0, 0, 0}, "SWT19;UP;"},
        {{0, 0, 0}, {23, 0, 0}, "SWT19;DN;"},
        {{6, 0, 0}, {18, 0, 0}, "SWT19;" + Repeat("UP;", 12)},  // half the modulus: direct
        {{18, 0, 0}, {6, 0, 0}, "SWT19;" + Repeat("DN;", 12)},
        {{10, 20, 30}, {11, 21, 31}, "SWT20;UP;"},  // seconds first, whatever else differs
        {{10, 20, 30}, {11, 21, 30}, "SWT27;UP;"},
        {{10, 20, 30}, {10, 20, 30}, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SetTimeCommand(c.radio, c.computer), c.command)
            << TimeOfDayText(c.radio) << " -> " << TimeOfDayText(c.computer);
    }
}

TEST(ClockSteps, MidnightAndTheDifferenceTakeTheShorterWay) {
    struct Case {
        TimeOfDay radio;
        TimeOfDay computer;
        bool crosses;
        int difference;
    } const cases[] = {
        {{23, 59, 50}, {0, 0, 5}, true, 15},     {{0, 0, 5}, {23, 59, 50}, true, -15},
        {{22, 0, 0}, {1, 0, 0}, true, 3 * 3600}, {{10, 0, 0}, {11, 2, 5}, false, 3725},
        {{6, 0, 0}, {18, 0, 0}, false, 43200},  // twelve hours: the direct way, as the hours go
        {{0, 0, 0}, {12, 0, 1}, true, -43199},   {{12, 0, 0}, {12, 0, 0}, false, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CrossesMidnight(c.radio, c.computer), c.crosses) << TimeOfDayText(c.radio);
        EXPECT_EQ(ClockDifference(c.radio, c.computer), c.difference) << TimeOfDayText(c.radio);
    }
}

TEST(ClockSteps, TheDifferenceIsToldInWholeUnitsAndWhichWay) {
    const struct {
        int seconds;
        const char* text;
    } cases[] = {
        {0, "Clocks agree"},
        {5, "RM7 is 5 s behind"},
        {-5, "RM7 is 5 s ahead"},
        {3725, "RM7 is 1 h 2 min 5 s behind"},
        {-3600, "RM7 is 1 h ahead"},
        {3605, "RM7 is 1 h 5 s behind"},
        {120, "RM7 is 2 min behind"},
        {43200, "RM7 is 12 h behind"},
        {-43199, "RM7 is 11 h 59 min 59 s ahead"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ClockDifferenceText(c.seconds), c.text) << c.seconds;
    }
}

TEST(ClockDisplay, OnlyDigitsAtTheTimePositionsMakeATime) {
    struct Case {
        std::string answer;
        bool valid;
        TimeOfDay time;
    } const cases[] = {
        {"DS@@1\xB2"
         "3\xB4"
         "56@@;",
         true,
         {12, 34, 56}},
        {"ds@@235959;", true, {23, 59, 59}},
        {"DS@@000000", true, {0, 0, 0}},
        {"DS@@@14\xB0"
         "70\xB0"
         "00@;",
         false,
         {}},                           // the frequency, outside the time menu
        {"DS@@12:34:56@;", false, {}},  // ':' is 0x3A: low bits 10 are no digit
        {"DS@@246000;", false, {}},     // no 24th hour
        {"DS@@126000;", false, {}},     // no 60th minute
        {"DS@@12345;", false, {}},      // too short
        {"DS@@\x01\x02\x03\x04\x05\x06;", false, {}},
        {"FA@@123456;", false, {}},
        // A blank reads as 0, as its low four bits say: a radio may blank a leading zero.
        {"DS@@@\xB5"
         "0\xB3"
         "07@@;",
         true,
         {5, 3, 7}},
        {"DS@@@\xC0"
         "0\xB5"
         "00@@;",
         true,
         {0, 5, 0}},  // both hour digits blank, the point kept
        // ... but only on the time menu's display, with its points after hours and minutes: the
        // frequency's, blank in front, would read 01:40:03.
        {"DS@@@14\xB0"
         "03\xB5"
         "00@;",
         false,
         {}},
        {"DS@@@5030700@;", false, {}},       // no points
        {"DS@@@\xC0@\xC0@@@@;", false, {}},  // nothing but blanks
        {"DS@@A\xB5"
         "0\xB3"
         "07@@;",
         false,
         {}},  // a letter is no blank
    };
    for (const Case& c : cases) {
        TimeOfDay t{99, 99, 99};
        EXPECT_EQ(ParseDisplayTime(c.answer, t), c.valid) << c.answer;
        if (c.valid) {
            EXPECT_EQ(t, c.time) << c.answer;
        } else {
            EXPECT_EQ(t, (TimeOfDay{99, 99, 99})) << c.answer;
        }
    }
}

// 2026-12-10 10:00:00 UTC: the computer's clock when the pump's reads 0.
constexpr std::int64_t kMorningMs = 1796896800000;
// 2026-12-11 00:00:05 UTC.
constexpr std::int64_t kJustAfterMidnightMs = 1796947205000;

rm7sim::Options RadioClock(std::int64_t epochMs, std::int64_t offsetMs) {
    rm7sim::Options options = CRadioBench::DefaultOptions();
    options.clockEpochMs = epochMs;
    options.clockOffsetMs = offsetMs;
    return options;
}

class DateTimeMachine : public ::testing::Test {
  protected:
    void Build(std::int64_t epochMs, std::int64_t offsetMs) {
        m_epochMs = epochMs;
        bench = std::make_unique<CRadioBench>(BenchStart::Contacted, RadioClock(epochMs, offsetMs));
        machine = std::make_unique<CDateTimeStateMachine>(*bench->session, [this] { return NowMs(); });
        bench->session->SetActiveMachine(machine.get());
    }
    std::int64_t NowMs() const { return m_epochMs + bench->pump.TickCount(); }
    // The radio's clock ahead of the computer's, in whole seconds as the radio shows them.
    int RadioAhead() const {
        const std::uint32_t now = bench->pump.TickCount();
        return -ClockDifference(TimeOfDayAt(bench->radio->ClockMs(now), true), TimeOfDayAt(NowMs(), true));
    }
    Result RunToEnd(bool (CDateTimeStateMachine::*start)()) {
        bench->window.completions.clear();
        EXPECT_TRUE(((*machine).*start)());
        EXPECT_TRUE(bench->pump.AdvanceUntil([&] { return !bench->window.completions.empty(); }, 60000));
        return bench->window.completions.empty() ? 0xFFFFFFFF : bench->window.completions.back();
    }
    std::vector<std::string> CommandsSince(std::size_t from) const {
        const auto all = bench->JobCommands();
        return {all.begin() + static_cast<std::ptrdiff_t>(from), all.end()};
    }

    std::int64_t m_epochMs = 0;
    std::unique_ptr<CRadioBench> bench;
    std::unique_ptr<CDateTimeStateMachine> machine;
};

TEST_F(DateTimeMachine, SetPassesBringAClockOneHourTwoMinutesFiveSecondsFastToTheComputersTime) {
    Build(kMorningMs, 3725000);
    ASSERT_EQ(RunToEnd(&CDateTimeStateMachine::StartRead), kOk);
    EXPECT_THAT(bench->JobCommands(), ElementsAre("MN073", "DS"));
    EXPECT_EQ(ClockDifference(machine->RadioTime(), machine->ComputerTime()), -3725);

    std::vector<std::string> passes;
    for (int pass = 0; pass < 6; ++pass) {
        const std::size_t before = bench->JobCommands().size();
        ASSERT_EQ(RunToEnd(&CDateTimeStateMachine::StartSetPass), kOk);
        const auto sent = CommandsSince(before);
        ASSERT_GE(sent.size(), 2u);
        EXPECT_EQ(sent[0], "MN073");  // every pass opens the menu and reads the display first
        EXPECT_EQ(sent[1], "DS");
        passes.push_back(machine->LastSetCommand());
        if (machine->LastSetCommand().empty()) {
            break;
        }
    }
    EXPECT_THAT(passes, ElementsAre("SWT20;" + Repeat("DN;", 5), "SWT27;" + Repeat("DN;", 2), "SWT19;DN;", ""));
    EXPECT_EQ(RadioAhead(), 0);
    EXPECT_TRUE(bench->radio->InTimeMenu());  // left only by the exit

    const std::size_t before = bench->JobCommands().size();
    ASSERT_EQ(RunToEnd(&CDateTimeStateMachine::StartExit), kOk);
    EXPECT_THAT(CommandsSince(before), ElementsAre("MN255"));
    EXPECT_FALSE(bench->radio->InTimeMenu());
}

TEST_F(DateTimeMachine, ADisplayWithoutATimeFailsWithTheDisplayCodeAndTapsNothing) {
    Build(kMorningMs, 3725000);
    // The menu entry shows something else: the frequency, or nothing at all.
    for (const char* display : {"DS@@@14\xB0"
                                "70\xB0"
                                "00@;",
                                "DS;"}) {
        bench->radio->SetDisplayAnswer(display);
        const std::size_t before = bench->JobCommands().size();
        const std::uint32_t start = bench->pump.TickCount();
        EXPECT_EQ(RunToEnd(&CDateTimeStateMachine::StartSetPass), kErrNoResponseDS) << display;
        // 250 ms in the menu, then eight reads half a second apart.
        EXPECT_EQ(bench->pump.TickCount() - start, 250u + 8 * 500u);
        std::vector<std::string> expected = {"MN073"};
        expected.insert(expected.end(), 8, "DS");
        EXPECT_EQ(CommandsSince(before), expected);
        EXPECT_EQ(machine->radioTime.Get(), 0);  // never taken for 00:00:00
    }
    EXPECT_EQ(RadioAhead(), 3725);
}

TEST_F(DateTimeMachine, ACorrectionAcrossMidnightIsRefusedUnlessAllowed) {
    // The radio shows 23:59:50 while the computer shows 00:00:05.
    Build(kJustAfterMidnightMs, -15000);
    const std::size_t before = bench->JobCommands().size();
    EXPECT_EQ(RunToEnd(&CDateTimeStateMachine::StartSetPass), kErrClockAcrossMidnight);
    EXPECT_THAT(CommandsSince(before), ElementsAre("MN073", "DS"));
    EXPECT_EQ(RadioAhead(), -15);
    EXPECT_TRUE(machine->LastSetCommand().empty());

    machine->AllowAcrossMidnight(true);
    for (int pass = 0; pass < 6 && RadioAhead() != 0; ++pass) {
        ASSERT_EQ(RunToEnd(&CDateTimeStateMachine::StartSetPass), kOk);
    }
    EXPECT_EQ(RadioAhead(), 0);
    // Each field wrapped by itself: the radio's own count of days did not move with it.
    EXPECT_EQ(bench->radio->ClockMs(bench->pump.TickCount()), NowMs() - std::int64_t{kSecondsPerDay} * 1000);
}

TimeOfDay Shown(const std::string& text) {
    TimeOfDay t{-1, -1, -1};
    std::sscanf(text.c_str(), "%2d:%2d:%2d", &t.hour, &t.minute, &t.second);
    return t;
}

// What the sheet's own controls are told; the rest goes to the one recording view.
class CRecordingDateTimeFields final : public IDateTimeView {
  public:
    void ShowComputerTime(const std::string& text) override { computerTime.Set(text); }
    void ShowRadioTime(const std::string& text) override { radioTime.Set(text); }
    void ShowDifference(const std::string& text) override { difference.Set(text); }
    void ShowUtc(bool value) override { utc.Set(value); }
    void SetApplyEnabled(bool value) override { applyEnabled.Set(value); }

    test::CRecordedField<std::string> computerTime;
    test::CRecordedField<std::string> radioTime;
    test::CRecordedField<std::string> difference;
    test::CRecordedField<bool> utc;
    test::CRecordedField<bool> applyEnabled{false};
};

// Counts the failures the port event reports, as the last of its observers.
class CPortEventWatch final : public IMessageTarget {
  public:
    LResult OnMessage(std::uint32_t code, WParam wParam, LParam) override {
        if (code == kMsgPortEvent && static_cast<Result>(wParam) == kErrClockAcrossMidnight) {
            ++acrossMidnight;
        }
        return 0;
    }
    int acrossMidnight = 0;
};

class DateTimeJob : public ::testing::Test {
  protected:
    void Build(std::int64_t offsetMs, CSettingsStore* settings = nullptr) {
        bench = std::make_unique<CRadioBench>(BenchStart::Contacted, RadioClock(kMorningMs, offsetMs), settings);
        job = std::make_unique<CDateTimeJob>(*bench->session, view, &fields,
                                             [this] { return kMorningMs + bench->pump.TickCount(); });
    }
    bool AdvanceUntilClosed() {
        return bench->pump.AdvanceUntil([&] { return view.Ended(); }, 120000);
    }
    std::vector<std::string> Commands() const { return bench->JobCommands(); }
    std::vector<JobResult> Results() const {
        std::vector<JobResult> out;
        for (const JobOutcome& o : view.outcomes) {
            out.push_back(o.result);
        }
        return out;
    }
    std::vector<std::string> Questions() const {
        std::vector<std::string> out;
        for (const JobQuestion& q : view.questions) {
            out.push_back(q.caption + ": " + q.text);
        }
        return out;
    }
    int RadioAhead() const {
        const std::uint32_t now = bench->pump.TickCount();
        return -ClockDifference(TimeOfDayAt(bench->radio->ClockMs(now), true), TimeOfDayAt(kMorningMs + now, true));
    }

    test::CRecordingJobView view;
    CRecordingDateTimeFields fields;
    std::unique_ptr<CRadioBench> bench;
    std::unique_ptr<CDateTimeJob> job;
};

TEST_F(DateTimeJob, TheOpenSheetKeepsReadingAndCancelLeavesTheMenuBeforeClosing) {
    Build(3725000);
    job->Show();
    EXPECT_EQ(bench->session->ActiveMachine(), &job->Machine());
    EXPECT_TRUE(fields.applyEnabled.Now());
    EXPECT_THAT(fields.utc.values, ElementsAre(true));  // UTC unless the user chose otherwise
    bench->pump.AdvanceBy(3000);
    const auto reads = Commands();
    ASSERT_GE(reads.size(), 8u);  // read after read, about 260 ms each
    for (std::size_t i = 0; i + 1 < reads.size(); i += 2) {
        EXPECT_EQ(reads[i], "MN073");
        EXPECT_EQ(reads[i + 1], "DS");
    }
    // Both clocks as last shown, read moments apart.
    ASSERT_GE(fields.radioTime.values.size(), 2u);
    EXPECT_EQ(ClockDifference(Shown(fields.radioTime.values.back()), Shown(fields.computerTime.Now())), -3725);
    ASSERT_FALSE(fields.difference.values.empty());
    EXPECT_EQ(fields.difference.values.back(), "RM7 is 1 h 2 min 5 s ahead");

    EXPECT_TRUE(job->QueryCancel());  // open until the menu has been left
    EXPECT_THAT(view.outcomes, IsEmpty());
    ASSERT_TRUE(AdvanceUntilClosed());
    EXPECT_EQ(Commands().back(), "MN255");
    EXPECT_FALSE(bench->radio->InTimeMenu());
    EXPECT_THAT(view.boxes, IsEmpty());
    EXPECT_EQ(RadioAhead(), 3725);     // nothing set
    EXPECT_FALSE(job->QueryCancel());  // idle: the sheet may close
}

TEST_F(DateTimeJob, OkSetsTheClockLeavesTheMenuAndCloses) {
    // Whole seconds off, and a radio whose second turns at another moment than the computer's,
    // which the passes can bring only to within a second.
    for (const std::int64_t offsetMs : {-3725000, 3725600, -1400}) {
        view = {};
        fields = {};
        Build(offsetMs);
        job->Show();
        bench->pump.AdvanceBy(600);
        EXPECT_TRUE(job->Apply(true));
        ASSERT_TRUE(AdvanceUntilClosed()) << offsetMs;
        EXPECT_THAT(Results(), ElementsAre(JobResult::kDone)) << offsetMs;
        EXPECT_THAT(view.boxes, IsEmpty()) << offsetMs;
        EXPECT_LE(std::abs(RadioAhead()), offsetMs % 1000 == 0 ? 0 : 1) << offsetMs;
        ASSERT_FALSE(fields.difference.values.empty());
        EXPECT_EQ(fields.difference.values.back(), "Clock set") << offsetMs;
        const auto commands = Commands();
        EXPECT_EQ(commands.back(), "MN255");
        EXPECT_EQ(std::count(commands.begin(), commands.end(), "MN255"), 1);
        EXPECT_EQ(job->State(), CDateTimeJob::PageState::Idle);
        job.reset();
    }
}

TEST_F(DateTimeJob, ApplySetsTheClockAndGoesOnReading) {
    Build(125000);
    job->Show();
    EXPECT_TRUE(job->Apply(false));
    ASSERT_TRUE(bench->pump.AdvanceUntil([&] { return job->State() == CDateTimeJob::PageState::ReadingAgain; }, 60000));
    EXPECT_EQ(RadioAhead(), 0);
    ASSERT_FALSE(fields.difference.values.empty());
    EXPECT_EQ(fields.difference.values.back(), "Clock set");
    EXPECT_THAT(bench->notifier.status, ::testing::Contains(::testing::StartsWith("Clock set to ")));
    const std::size_t before = Commands().size();
    bench->pump.AdvanceBy(2000);
    const auto after = Commands();
    EXPECT_GT(after.size(), before + 4);
    EXPECT_EQ(std::count(after.begin() + static_cast<std::ptrdiff_t>(before), after.end(), "MN255"), 0);
    EXPECT_EQ(std::count(after.begin() + static_cast<std::ptrdiff_t>(before), after.end(), "SWT20"), 0);
    EXPECT_THAT(view.outcomes, IsEmpty());
}

TEST_F(DateTimeJob, AFailureIsShownAndTheMenuLeftBeforeTheSheetCloses) {
    struct Case {
        const char* what;
        std::function<void(rm7sim::Radio&)> fault;
        Result code;
    } const cases[] = {
        {"display without a time", [](rm7sim::Radio& r) { r.SetDisplayAnswer("DS@@@@@@@@;"); }, kErrNoResponseDS},
        {"clock that does not follow", [](rm7sim::Radio& r) { r.SetClockStuck(true); }, kErrClockNotFollowing},
    };
    for (const Case& c : cases) {
        view = {};
        fields = {};
        Build(3725000);
        c.fault(*bench->radio);
        job->Show();
        job->Apply(true);
        ASSERT_TRUE(AdvanceUntilClosed()) << c.what;
        // Said once, by the outcome: the desktop view makes it its one box.
        ASSERT_TRUE(view.Ended()) << c.what;
        EXPECT_EQ(view.Last().code, c.code) << c.what;
        EXPECT_EQ(view.Last().Lines().front(), std::string(kClockSetFailedText) + ": " + ErrorText(c.code)) << c.what;
        EXPECT_THAT(view.boxes, IsEmpty()) << c.what;
        EXPECT_THAT(Results(), ElementsAre(JobResult::kFailed)) << c.what;
        EXPECT_EQ(Commands().back(), "MN255") << c.what;
        EXPECT_FALSE(bench->radio->InTimeMenu()) << c.what;
        job.reset();
    }
}

TEST_F(DateTimeJob, TheClockChoiceChangesTheTargetAndIsKeptInTheSettings) {
    const char* oldTz = std::getenv("TZ");
    const std::string savedTz = oldTz != nullptr ? oldTz : "";
    setenv("TZ", "XST-3", 1);  // three hours ahead of UTC, no summer time
    tzset();
    test::CTempFolder dir;
    CSettingsStore settings(dir.Path() / "settings.conf");
    Build(0, &settings);
    job->Show();
    EXPECT_EQ(fields.computerTime.Now(), "10:00:00");
    job->ChooseUtc(false);
    EXPECT_EQ(fields.computerTime.Now(), "13:00:00");
    EXPECT_THAT(fields.utc.values, ElementsAre(true, false));
    job->Apply(true);
    ASSERT_TRUE(AdvanceUntilClosed());
    EXPECT_THAT(Results(), ElementsAre(JobResult::kDone));
    EXPECT_EQ(RadioAhead(), 3 * 3600);  // the radio now keeps local time
    job->Hide();

    std::uint32_t stored = 99;
    EXPECT_EQ(settings.ReadDword("", "DateTimeUtc", stored), kOk);
    EXPECT_EQ(stored, 0u);
    CSettingsStore reread(dir.Path() / "settings.conf");
    ASSERT_EQ(reread.Load(), kOk);
    EXPECT_EQ(reread.ReadDword("", "DateTimeUtc", stored), kOk);
    EXPECT_EQ(stored, 0u);

    // The next sheet starts with the choice kept.
    view = {};
    fields = {};
    job = std::make_unique<CDateTimeJob>(*bench->session, view, &fields,
                                         [this] { return kMorningMs + bench->pump.TickCount(); });
    job->Show();
    EXPECT_THAT(fields.utc.values, ElementsAre(false));
    job->Hide();

    if (oldTz != nullptr) {
        setenv("TZ", savedTz.c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
}

// More than 12 hours apart, the set would carry the radio across midnight: the job asks (from
// the event loop, once the radio's callback is done), Yes sets the time anyway and No keeps the
// sheet open and reading with nothing tapped. A radio reset to 00:05 is set at 14:00, and one
// at 23:59:50 just after midnight; each asked again for a second set.
TEST_F(DateTimeJob, ASetAcrossMidnightIsAskedAboutAndYesSetsTheTime) {
    // 2026-12-10 14:00:00 UTC.
    constexpr std::int64_t kAfternoonMs = 1796911200000;
    const struct {
        const char* what;
        std::int64_t computerMs;
        std::int64_t radioAheadMs;
        bool answer;
    } cases[] = {
        {"reset to 00:05 at 14:00, Yes", kAfternoonMs, -(13 * 3600 + 55 * 60) * 1000LL, true},
        {"23:59:50 at 00:00:05, Yes", kJustAfterMidnightMs, -15000, true},
        {"reset to 00:05 at 14:00, No", kAfternoonMs, -(13 * 3600 + 55 * 60) * 1000LL, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        view = {};
        fields = {};
        view.answer = c.answer;
        bench = std::make_unique<CRadioBench>(BenchStart::Contacted, RadioClock(c.computerMs, c.radioAheadMs));
        const std::int64_t computerMs = c.computerMs;
        job = std::make_unique<CDateTimeJob>(*bench->session, view, &fields,
                                             [this, computerMs] { return computerMs + bench->pump.TickCount(); });
        job->Show();
        CPortEventWatch watch;
        const CObservation watching(bench->model->portEvent, &watch);
        std::vector<bool> askedAfterTheCallback;
        view.onAsk = [&](const JobQuestion&) { askedAfterTheCallback.push_back(watch.acrossMidnight > 0); };
        const auto radioAhead = [&] {
            const std::uint32_t now = bench->pump.TickCount();
            return -ClockDifference(TimeOfDayAt(bench->radio->ClockMs(now), true), TimeOfDayAt(computerMs + now, true));
        };

        const int aheadBefore = radioAhead();
        EXPECT_TRUE(job->Apply(true));
        ASSERT_TRUE(bench->pump.AdvanceUntil([&] { return !view.questions.empty(); }, 60000));
        EXPECT_THAT(Questions(), ElementsAre(std::string("Set Time: ") + kAcrossMidnightQuestion));
        EXPECT_THAT(askedAfterTheCallback, ElementsAre(true));
        EXPECT_THAT(view.boxes, IsEmpty());
        if (!c.answer) {
            bench->pump.AdvanceBy(2000);
            EXPECT_THAT(view.outcomes, IsEmpty());
            EXPECT_EQ(job->State(), CDateTimeJob::PageState::Reading);
            const auto commands = Commands();
            EXPECT_EQ(std::count(commands.begin(), commands.end(), "SWT20"), 0);
            EXPECT_EQ(std::count(commands.begin(), commands.end(), "SWT27"), 0);
            EXPECT_EQ(std::count(commands.begin(), commands.end(), "SWT19"), 0);
            EXPECT_EQ(radioAhead(), aheadBefore);
            // OK again asks again, and the sheet then closes the way a cancel does.
            EXPECT_TRUE(job->Apply(true));
            ASSERT_TRUE(bench->pump.AdvanceUntil([&] { return view.questions.size() == 2; }, 60000));
            EXPECT_TRUE(job->QueryCancel());
            ASSERT_TRUE(AdvanceUntilClosed());
            EXPECT_EQ(Commands().back(), "MN255");
            EXPECT_EQ(radioAhead(), aheadBefore);
            job.reset();
            continue;
        }
        ASSERT_TRUE(AdvanceUntilClosed());
        EXPECT_THAT(Results(), ElementsAre(JobResult::kDone));
        EXPECT_THAT(view.boxes, IsEmpty());
        EXPECT_EQ(radioAhead(), 0);
        EXPECT_EQ(Commands().back(), "MN255");
        EXPECT_EQ(view.questions.size(), 1u);
        EXPECT_FALSE(job->Machine().AcrossMidnightAllowed());  // the next set is asked about again
        job.reset();
    }
}

// The job ends once, with what happened: the time set (and the busy cursor held only while a
// set runs, never for the quiet reads), a set cancelled part way, a sheet closed without a set.
TEST_F(DateTimeJob, EachEndIsToldOnceWithWhatHappened) {
    Build(3725000);
    job->Show();
    bench->pump.AdvanceBy(1000);
    EXPECT_THAT(view.busy, IsEmpty());
    job->Apply(true);
    ASSERT_TRUE(AdvanceUntilClosed());
    ASSERT_EQ(view.outcomes.size(), 1u);
    EXPECT_EQ(view.Last().result, JobResult::kDone);
    EXPECT_THAT(view.Last().Lines(), ElementsAre(std::string("Clock set to ") + fields.computerTime.Now() + " UTC",
                                                 RadioStateText(RadioState::kRunning)));
    EXPECT_THAT(view.busy, ElementsAre(true, false));

    job.reset();
    view = {};
    Build(3725000);
    job->Show();
    job->Apply(false);
    ASSERT_TRUE(bench->pump.AdvanceUntil(
        [&] {
            const auto c = Commands();
            return std::any_of(c.begin(), c.end(), [](const std::string& s) { return s.starts_with("SWT"); });
        },
        60000));
    EXPECT_TRUE(job->QueryCancel());
    ASSERT_TRUE(AdvanceUntilClosed());
    ASSERT_EQ(view.outcomes.size(), 1u);
    EXPECT_EQ(view.Last().result, JobResult::kCancelled);
    EXPECT_THAT(view.Last().Lines(),
                ElementsAre(kClockSetCancelledText, RadioStateText(RadioState::kRunning), kClockReadAgainText));
    EXPECT_EQ(Commands().back(), "MN255");
    EXPECT_THAT(view.busy, ElementsAre(true, false));

    job.reset();
    view = {};
    Build(3725000);
    job->Show();
    bench->pump.AdvanceBy(600);
    EXPECT_TRUE(job->QueryCancel());
    ASSERT_TRUE(AdvanceUntilClosed());
    EXPECT_THAT(Results(), ElementsAre(JobResult::kDone));
    EXPECT_EQ(view.Last().what, kClockUnchangedText);
    EXPECT_EQ(RadioAhead(), 3725);
}

// A radio that blanks the leading zero of the hours ("@5.03.07") is read and set like any other.
TEST_F(DateTimeJob, ABlankLeadingZeroReadsAsZero) {
    rm7sim::Options options = RadioClock(kMorningMs, -(4 * 3600 + 56 * 60 + 53) * 1000LL);  // 05:03:07
    options.clockBlankLeadingZero = true;
    bench = std::make_unique<CRadioBench>(BenchStart::Contacted, options);
    job = std::make_unique<CDateTimeJob>(*bench->session, view, &fields,
                                         [this] { return kMorningMs + bench->pump.TickCount(); });
    job->Show();
    ASSERT_TRUE(bench->pump.AdvanceUntil([&] { return !fields.radioTime.values.empty(); }, 60000));
    EXPECT_EQ(fields.radioTime.values.front(), "05:03:07");
    job->Apply(true);
    ASSERT_TRUE(AdvanceUntilClosed());
    EXPECT_THAT(Results(), ElementsAre(JobResult::kDone));
    EXPECT_THAT(view.boxes, IsEmpty());
    EXPECT_EQ(RadioAhead(), 0);
}

}  // namespace
}  // namespace rm7
