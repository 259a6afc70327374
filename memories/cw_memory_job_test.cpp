// What the "Edit CW Memories" dialog decides, against the in-process simulated radio in
// virtual time, through the job shell and its recording view.
#include "memories/cw_memory_job.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <utility>

#include "platform/error_text.h"
#include "tests/support/radio_bench.h"
#include "tests/support/recorded_field.h"
#include "tests/support/recording_job_view.h"

namespace rm7 {
namespace {

using test::BenchStart;
using test::CRadioBench;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Pair;

// The dialog's own controls, and the dialog around the job: the shell's view, its questions
// answered with `answer`, and the result the dialog would end with.
class CRecordingCwView final : public ICWMemoryView {
  public:
    CRecordingCwView() {
        job.answer = false;
        job.onOutcome = [this](const JobOutcome& o) {
            if (o.result == JobResult::kDone) {
                ends.push_back(kCwDialogSaved);  // the dialog's view ends a done job
            }
        };
    }
    void ShowMemory(std::size_t index, const std::string& text) override { memory.Set({index, text}); }
    void SetControlsEnabled(bool enabled) override { controlsEnabled.Set(enabled); }
    void FocusCancel() override { cancelFocus.Set(true); }
    // The close request, as the dialog makes it.
    void Close(CCWMemoryJob& cwJob) {
        if (const std::optional<int> end = cwJob.CloseRequest([this](const Question& q) {
                asked.push_back(q.caption + ": " + q.text + (q.withCancel ? " [Yes No Cancel]" : " [Yes No]"));
                return answer;
            })) {
            ends.push_back(*end);
        }
        for (const JobQuestion& q : job.questions) {
            asked.push_back(q.caption + ": " + q.text + " [Yes No]");
        }
        job.questions.clear();
    }
    bool BusyCursor() const { return !job.busy.empty() && job.busy.back(); }

    test::CRecordingJobView job;
    test::CRecordedField<std::pair<std::size_t, std::string>> memory;
    test::CRecordedField<bool> controlsEnabled{true};
    test::CRecordedField<bool> cancelFocus;  // each time it was given the focus
    std::vector<std::string> asked;
    Answer answer = Answer::Cancel;
    std::vector<int> ends;
};

const std::string kUnsavedQuestion =
    "Unsaved Changes: Changes have not been applied\r\n\r\nDo you want to save the changes? [Yes No Cancel]";
const std::string kCriticalQuestion = "Critical Operation in Progress: Saving CW memories. Cancel anyway? [Yes No]";

std::string AreaOf(const std::string& text) {
    CwArea area;
    area.fill(kCwErased);
    EncodeCwArea(text, area);
    return std::string(area.begin(), area.end());
}

class CwMemoryJob : public ::testing::Test {
  protected:
    CwMemoryJob() {
        for (std::size_t i = 0; i < kCwMemoryCount; ++i) {
            bench.SetEeprom(CwAreaAddress(i), std::string(kCwAreaSize, '\xFF'));
        }
        bench.SetEeprom(CwAreaAddress(0), AreaOf("CQ CQ"));
        bench.SetEeprom(CwAreaAddress(2), AreaOf("DE G4ABC K"));
    }
    void ShowAndRead() {
        job.Show();
        ASSERT_TRUE(bench.pump.AdvanceUntil([&] { return job.Machine().IsIdle(); }, 200000));
        ASSERT_EQ(job.Machine().GetResult(), kOk);
        afterRead = bench.JobCommands().size();
    }
    bool RunUntilEnded() {
        return bench.pump.AdvanceUntil([&] { return view.job.Ended() && job.Machine().IsIdle(); }, 200000);
    }
    std::vector<std::string> Writes() {
        const auto all = bench.JobCommands();
        return {all.begin() + static_cast<std::ptrdiff_t>(afterRead), all.end()};
    }
    std::string Area(std::size_t memory) { return bench.EepromText(CwAreaAddress(memory), kCwAreaSize); }

    CRadioBench bench{BenchStart::Contacted};
    CRecordingCwView view;
    CCWMemoryJob job{*bench.session, view.job, &view};
    std::size_t afterRead = 0;
};

TEST_F(CwMemoryJob, ShowingReadsEveryMemoryWithTheControlsDisabledMeanwhile) {
    job.Show();
    EXPECT_EQ(bench.session->ActiveMachine(), &job.Machine());
    EXPECT_FALSE(view.controlsEnabled.Now());
    EXPECT_TRUE(view.BusyCursor());
    EXPECT_EQ(bench.notifier.status.back(), kCwReadingStatus);
    ASSERT_TRUE(bench.pump.AdvanceUntil([&] { return job.Machine().IsIdle() && !job.Busy(); }, 200000));

    // Erased memories stay empty: nothing to tell. The read is no end: no outcome yet.
    EXPECT_THAT(view.memory.values, ElementsAre(Pair(0u, "CQ CQ"), Pair(2u, "DE G4ABC K")));
    EXPECT_TRUE(view.controlsEnabled.Now());
    EXPECT_EQ(view.job.busy, (std::vector<bool>{true, false}));
    EXPECT_EQ(view.cancelFocus.values.size(), 1u);
    EXPECT_THAT(view.ends, IsEmpty());
    EXPECT_THAT(view.job.outcomes, IsEmpty());
    EXPECT_THAT(view.job.boxes, IsEmpty());
    EXPECT_EQ(bench.notifier.status.back(), kCwReadyStatus);
    EXPECT_FALSE(job.Writing());
}

TEST_F(CwMemoryJob, SaveWritesOnlyTheChangedMemoriesThenEndsWithOne) {
    ShowAndRead();
    const std::string m3 = Area(2);
    job.EditFinished(1, "cq de x#1");  // what the radio cannot send never reaches the text
    EXPECT_EQ(job.Machine().texts.Pending(1), "CQ DE X1");
    job.EditFinished(2, "DE G4ABC K");  // as read: costs nothing
    job.Save();
    EXPECT_TRUE(job.Writing());
    EXPECT_FALSE(view.controlsEnabled.Now());
    EXPECT_TRUE(view.BusyCursor());
    EXPECT_EQ(bench.notifier.status.back(), kCwWritingStatus);
    ASSERT_TRUE(RunUntilEnded());

    EXPECT_THAT(view.ends, ElementsAre(kCwDialogSaved));
    ASSERT_EQ(view.job.outcomes.size(), 1u);
    EXPECT_EQ(view.job.Last().Lines(),
              (std::vector<std::string>{"Saved CW memories M2", RadioStateText(RadioState::kRunning)}));
    const auto writes = Writes();
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].substr(0, 8), "EW05F209");  // 8 characters and the end mark below 0x05FB
    EXPECT_EQ(Area(1).substr(0xF2), AreaOf("CQ DE X1").substr(0xF2));
    EXPECT_EQ(Area(1).substr(0, 0xF2), std::string(0xF2, '\xFF'));  // below the end mark untouched
    EXPECT_EQ(Area(2), m3);
    EXPECT_EQ(job.Machine().texts.Get(1), "CQ DE X1");
    EXPECT_FALSE(view.BusyCursor());
    EXPECT_THAT(view.job.boxes, IsEmpty());
}

TEST_F(CwMemoryJob, SaveWithNothingChangedEndsAtOnceAndSendsNothing) {
    ShowAndRead();
    job.Save();
    EXPECT_THAT(view.ends, ElementsAre(kCwDialogSaved));
    EXPECT_EQ(view.job.Last().Lines(),
              (std::vector<std::string>{kCwUnchangedText, RadioStateText(RadioState::kUnchanged)}));
    EXPECT_TRUE(job.Machine().IsIdle());
    EXPECT_FALSE(view.BusyCursor());
    bench.pump.AdvanceBy(10000);
    EXPECT_THAT(Writes(), IsEmpty());
}

TEST_F(CwMemoryJob, CloseWhenIdleAsksOnlyAboutUnsavedChanges) {
    struct Case {
        const char* name;
        const char* edit;  // typed into M2, or nothing
        Answer answer;
        std::vector<std::string> asked;
        std::vector<int> ends;
        bool written;
    };
    const Case cases[] = {
        {"unchanged", nullptr, Answer::Yes, {}, {kCwDialogClosed}, false},
        {"changed back", "", Answer::Yes, {}, {kCwDialogClosed}, false},
        {"save", "TEST", Answer::Yes, {kUnsavedQuestion}, {kCwDialogSaved}, true},
        {"discard", "TEST", Answer::No, {kUnsavedQuestion}, {kCwDialogClosed}, false},
        {"stay", "TEST", Answer::Cancel, {kUnsavedQuestion}, {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CRecordingCwView caseView;
        CCWMemoryJob caseJob(*bench.session, caseView.job, &caseView);
        caseJob.Show();
        ASSERT_TRUE(bench.pump.AdvanceUntil([&] { return caseJob.Machine().IsIdle(); }, 200000));
        const std::size_t before = bench.JobCommands().size();
        const std::string m2 = Area(1);
        if (c.edit != nullptr) {
            caseJob.EditFinished(1, c.edit);
        }
        caseView.answer = c.answer;
        caseView.Close(caseJob);
        bench.pump.AdvanceUntil([&] { return caseJob.Machine().IsIdle() && !caseView.ends.empty(); }, 200000);
        EXPECT_EQ(caseView.asked, c.asked);
        EXPECT_EQ(caseView.ends, c.ends);
        EXPECT_EQ(Area(1) != m2, c.written);
        EXPECT_EQ(bench.JobCommands().size() != before, c.written);
        if (c.written) {
            bench.SetEeprom(CwAreaAddress(1), m2);  // the next case reads the memory as it was
        }
    }
}

// The dialog stays with the outcome; its next close (nothing read, nothing changed) ends it.
TEST_F(CwMemoryJob, CloseDuringTheReadCancelsItWithoutAQuestionOrABox) {
    job.Show();
    bench.pump.AdvanceBy(1);
    ASSERT_FALSE(job.Machine().IsIdle());
    view.Close(job);
    EXPECT_THAT(view.ends, IsEmpty());  // open until the machine has stopped
    ASSERT_TRUE(RunUntilEnded());
    EXPECT_EQ(job.Machine().GetResult(), kErrorCancelled);
    ASSERT_EQ(view.job.outcomes.size(), 1u);
    EXPECT_EQ(view.job.Last().Lines(),
              (std::vector<std::string>{kCwReadCancelledText, RadioStateText(RadioState::kUnchanged)}));
    EXPECT_FALSE(view.controlsEnabled.Now());
    EXPECT_THAT(view.asked, IsEmpty());
    EXPECT_THAT(view.job.boxes, IsEmpty());
    EXPECT_FALSE(view.BusyCursor());
    view.Close(job);
    EXPECT_THAT(view.ends, ElementsAre(kCwDialogClosed));
}

TEST_F(CwMemoryJob, CloseDuringTheWriteAsksBeforeCancellingIt) {
    struct Case {
        bool yes;
        Result result;
        JobResult outcome;
    };
    for (const Case& c : {Case{false, kOk, JobResult::kDone}, Case{true, kErrorCancelled, JobResult::kCancelled}}) {
        SCOPED_TRACE(c.yes);
        bench.SetEeprom(CwAreaAddress(3), std::string(kCwAreaSize, '\xFF'));
        CRecordingCwView caseView;
        CCWMemoryJob caseJob(*bench.session, caseView.job, &caseView);
        caseJob.Show();
        ASSERT_TRUE(bench.pump.AdvanceUntil([&] { return caseJob.Machine().IsIdle(); }, 200000));
        caseJob.EditFinished(3, std::string(250, 'E'));  // four blocks: time to step in
        caseJob.Save();
        bench.pump.AdvanceBy(1);
        ASSERT_FALSE(caseJob.Machine().IsIdle());
        caseView.job.answer = c.yes;
        caseView.Close(caseJob);
        EXPECT_THAT(caseView.asked, ElementsAre(kCriticalQuestion));
        EXPECT_EQ(caseView.job.questions.size(), 0u);
        EXPECT_THAT(caseView.ends, IsEmpty());
        ASSERT_TRUE(
            bench.pump.AdvanceUntil([&] { return caseJob.Machine().IsIdle() && caseView.job.Ended(); }, 200000));
        EXPECT_EQ(caseJob.Machine().GetResult(), c.result);
        ASSERT_EQ(caseView.job.outcomes.size(), 1u);
        EXPECT_EQ(caseView.job.Last().result, c.outcome);
        if (c.yes) {
            // Some blocks may be written: the outcome does not guess, it says how to find out.
            EXPECT_EQ(caseView.job.Last().Lines(), (std::vector<std::string>{kCwSaveCancelledText, kCwReadAgainText}));
        }
        EXPECT_THAT(caseView.job.boxes, IsEmpty());
    }
}

// Said once, as the job's outcome (the dialog's view shows it in one box and keeps the dialog).
TEST_F(CwMemoryJob, FailuresAreToldOnceWithWhatToDoNext) {
    struct Case {
        bool duringSave;
        Result result;
    };
    for (const Case& c : {Case{false, kErrNoResponseReadEeprom}, Case{true, kErrNoResponseWriteEeprom}}) {
        SCOPED_TRACE(c.duringSave);
        bench.radio->SetSilent(false);
        CRecordingCwView caseView;
        CCWMemoryJob caseJob(*bench.session, caseView.job, &caseView);
        if (c.duringSave) {
            caseJob.Show();
            ASSERT_TRUE(bench.pump.AdvanceUntil([&] { return caseJob.Machine().IsIdle(); }, 200000));
            caseJob.EditFinished(0, "QRT");
            bench.radio->SetSilent(true);
            caseJob.Save();
        } else {
            bench.radio->SetSilent(true);
            caseJob.Show();
        }
        ASSERT_TRUE(
            bench.pump.AdvanceUntil([&] { return caseJob.Machine().IsIdle() && caseView.job.Ended(); }, 200000));
        EXPECT_EQ(caseJob.Machine().GetResult(), c.result);
        ASSERT_EQ(caseView.job.outcomes.size(), 1u);
        const JobOutcome& o = caseView.job.Last();
        EXPECT_EQ(o.result, JobResult::kFailed);
        EXPECT_EQ(o.code, c.result);
        EXPECT_EQ(o.Lines(),
                  c.duringSave ? (std::vector<std::string>{std::string(kCwSaveFailedText) + ": " + ErrorText(c.result),
                                                           kCwReadAgainText})
                               : (std::vector<std::string>{std::string(kCwReadFailedText) + ": " + ErrorText(c.result),
                                                           RadioStateText(RadioState::kUnchanged)}));
        // Nothing read is nothing to save: the edit boxes stay closed after a failed read.
        EXPECT_EQ(caseView.controlsEnabled.Now(), c.duringSave);
        EXPECT_THAT(caseView.job.boxes, IsEmpty());
        EXPECT_THAT(caseView.ends, IsEmpty());
        EXPECT_FALSE(caseView.BusyCursor());
    }
}

TEST_F(CwMemoryJob, HidingEndsTheObservationsAndTheActiveMachine) {
    ShowAndRead();
    view.memory.values.clear();
    job.Hide();
    EXPECT_EQ(bench.session->ActiveMachine(), nullptr);
    job.Machine().texts.Set(4, "ELSEWHERE");
    EXPECT_THAT(view.memory.values, IsEmpty());
}

}  // namespace
}  // namespace rm7
