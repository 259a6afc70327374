// The job shell around a real job (the configuration read) on the simulated radio, in virtual
// time: the stop rule and its question, the backup step before the machine, the countdown, the
// busy count and the one outcome.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <optional>

#include "config/job_backup.h"
#include "config/save_machine.h"
#include "link/job_shell.h"
#include "platform/error_text.h"
#include "platform/last_error.h"
#include "platform/manual_pump.h"
#include "platform/result_codes.h"
#include "tests/support/radio_bench.h"
#include "tests/support/recording_job_view.h"
#include "tests/support/temp_folder.h"

namespace rm7 {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

constexpr const char* kStopCaption = "Critical Operation in Progress";
// The configuration ranges, read in blocks of up to 64 bytes.
constexpr std::size_t kReadsOfOneSave = 26;

// The save machine run as a risky job would be: with a stop question, and a backup when given.
struct ShellRig {
    explicit ShellRig(bool asksFirst = true) {
        EXPECT_EQ(bench.Contact(), kOk);
        CJobShell::Texts texts{"test job", "Reading", std::nullopt, "The test job was cancelled"};
        if (asksFirst) {
            texts.stopQuestion = JobQuestion{JobQuestion::Kind::kStop, kStopCaption, "Stop the test job?"};
        }
        shell = std::make_unique<CJobShell>(*bench.session, machine, view, texts);
        machine.SetProgressBar(&shell->Progress());
    }
    void Run() {
        shell->Run([this] { return machine.StartSave(); },
                   [](Result r) {
                       return r == kOk               ? JobOutcome::Done("Read")
                              : r == kErrorCancelled ? JobOutcome::Cancelled("Stopped")
                                                     : JobOutcome::Failed("Not read", r);
                   });
    }
    std::size_t Reads() const {
        const auto commands = bench.radio->ReceivedCommands();
        return static_cast<std::size_t>(std::count_if(commands.begin(), commands.end(),
                                                      [](const std::string& c) { return c.rfind("ER", 0) == 0; }));
    }
    bool RunToOutcome() {
        return bench.pump.AdvanceUntil([&] { return view.Ended(); }, 120000);
    }

    test::CRadioBench bench;
    test::CRecordingJobView view;
    CConfigSaveStateMachine machine{*bench.session};
    std::unique_ptr<CJobShell> shell;
};

TEST(JobShell, AStopIsAskedOnceAndOnlyAYesToARunningJobStopsIt) {
    struct Case {
        const char* name;
        bool yes;
        bool answerAfterTheEnd;  // the job ends while the question is open
        JobResult result;
    };
    for (const Case& c : {Case{"no: it runs on", false, false, JobResult::kDone},
                          Case{"yes: it stops at its next step", true, false, JobResult::kCancelled},
                          Case{"yes, too late: it had ended", true, true, JobResult::kDone}}) {
        SCOPED_TRACE(c.name);
        ShellRig rig;
        rig.Run();
        ASSERT_TRUE(rig.bench.pump.AdvanceUntil([&] { return rig.view.progress.position >= 5; }, 60000));
        EXPECT_EQ(rig.shell->RequestStop(), StopRequest::kAsking);
        EXPECT_EQ(rig.shell->RequestStop(), StopRequest::kAsking);  // the window's close beside the button
        ASSERT_EQ(rig.view.questions.size(), 1u);
        EXPECT_EQ(rig.view.questions[0].kind, JobQuestion::Kind::kStop);
        EXPECT_EQ(rig.view.questions[0].caption, kStopCaption);
        if (c.answerAfterTheEnd) {
            ASSERT_TRUE(rig.RunToOutcome());
        } else {
            rig.bench.pump.AdvanceBy(5);  // the job goes on while the question is open
            EXPECT_FALSE(rig.view.Ended());
        }
        rig.view.Answer(c.yes);
        ASSERT_TRUE(rig.RunToOutcome());
        ASSERT_EQ(rig.view.outcomes.size(), 1u);
        EXPECT_EQ(rig.view.Last().result, c.result);
        EXPECT_EQ(rig.view.Last().job, "test job");
        EXPECT_THAT(rig.view.busy, ElementsAre(true, false));
        EXPECT_EQ(rig.Reads() == kReadsOfOneSave, c.result == JobResult::kDone);
        EXPECT_EQ(rig.shell->RequestStop(), StopRequest::kIdle);
        EXPECT_EQ(rig.view.questions.size(), 1u);
    }
}

TEST(JobShell, TheBackupComesFirstAndAFailedOneAsksBeforeTheJob) {
    struct Case {
        const char* name;
        bool enabled;
        bool folderIsAFile;        // the backup cannot be written
        std::optional<bool> goOn;  // the answer to "go on without a backup?"
        JobResult result;
        bool jobRan;
        bool backupNamed;
    };
    for (const Case& c : {Case{"written", true, false, std::nullopt, JobResult::kDone, true, true},
                          Case{"off", false, false, std::nullopt, JobResult::kDone, true, false},
                          Case{"failed, go on", true, true, true, JobResult::kDone, true, false},
                          Case{"failed, do not", true, true, false, JobResult::kFailed, false, false}}) {
        SCOPED_TRACE(c.name);
        test::CTempFolder dir;
        fs::path folder = dir.Path() / "backups";
        if (c.folderIsAFile) {
            std::ofstream(folder) << "a file where the folder should be";
        }
        ShellRig rig;
        CJobBackup backup(*rig.bench.session, BackupReason::kRestore, {c.enabled, folder},
                          [] { return SavedAtTime{2026, 12, 11, 7, 0, 0}; });
        rig.shell->SetBackup(&backup);
        rig.Run();
        if (c.goOn) {
            ASSERT_TRUE(rig.bench.pump.AdvanceUntil([&] { return !rig.view.pending.empty(); }, 60000));
            ASSERT_EQ(rig.view.questions.size(), 1u);
            EXPECT_EQ(rig.view.questions[0].kind, JobQuestion::Kind::kGoOnWithoutBackup);
            EXPECT_EQ(rig.view.progress.range, 0u) << "nothing of the job before the answer";
            rig.view.Answer(*c.goOn);
        }
        ASSERT_TRUE(rig.RunToOutcome());
        EXPECT_EQ(rig.view.Last().result, c.result);
        // The job's own machine reports through the shell; the backup's does not.
        EXPECT_EQ(rig.view.progress.position, c.jobRan ? 48u : 0u);
        EXPECT_THAT(rig.view.busy, ElementsAre(true, false)) << "busy from the backup to the outcome";
        // The backup's line is logged when the job goes on; a failure's is the outcome's reason.
        EXPECT_EQ(rig.view.log.empty(), !c.jobRan);
        if (c.backupNamed) {
            const fs::path file = folder / "SN01234.20261211T070000.before-restore.RM7Config";
            EXPECT_TRUE(fs::exists(file));
            EXPECT_EQ(rig.view.Last().backup, file);
            EXPECT_THAT(rig.view.Last().Lines(),
                        testing::Contains("The configuration was backed up to " + file.string()));
        } else {
            EXPECT_TRUE(rig.view.Last().backup.empty());
        }
        if (c.result == JobResult::kFailed) {
            EXPECT_EQ(rig.view.Last().what, kJobNotStartedText);
            EXPECT_THAT(rig.view.Last().why, HasSubstr("The configuration backup could not be written into "));
            EXPECT_TRUE(Failed(rig.view.Last().code));
        }
    }
}

TEST(JobShell, AStopDuringTheBackupEndsTheJobBeforeItStartsWithoutAsking) {
    test::CTempFolder dir;
    ShellRig rig;
    CJobBackup backup(*rig.bench.session, BackupReason::kFirmware, {true, dir.Path()});
    rig.shell->SetBackup(&backup);
    rig.Run();
    ASSERT_TRUE(rig.bench.pump.AdvanceUntil([&] { return rig.Reads() >= 3; }, 60000));
    EXPECT_EQ(rig.shell->RequestStop(), StopRequest::kStopping);
    ASSERT_TRUE(rig.RunToOutcome());
    EXPECT_TRUE(rig.view.questions.empty());
    EXPECT_EQ(rig.view.Last().result, JobResult::kCancelled);
    EXPECT_EQ(rig.view.Last().what, "The test job was cancelled");
    EXPECT_EQ(rig.view.Last().radio, RadioState::kUnchanged);
    EXPECT_LT(rig.Reads(), kReadsOfOneSave) << "the job's own reads never began";
    EXPECT_TRUE(fs::is_empty(dir.Path()));
}

TEST(JobShell, ARefusedStartFailsAtOnceAndACountdownShowsEachSecond) {
    ShellRig rig(false);
    rig.shell->Run(
        [] {
            SetLastError(kErrBusyStateMachine);
            return false;
        },
        {});
    ASSERT_TRUE(rig.view.Ended()) << "before Run returns";
    EXPECT_EQ(rig.view.Last().result, JobResult::kFailed);
    EXPECT_EQ(rig.view.Last().code, kErrBusyStateMachine);
    EXPECT_EQ(rig.view.Last().why, ErrorText(kErrBusyStateMachine));
    EXPECT_THAT(rig.view.busy, ElementsAre(true, false));

    rig.shell->StartCountdown("Waiting for the reset", 3);
    rig.bench.pump.AdvanceBy(2999);
    EXPECT_THAT(rig.view.countdown, ElementsAre(3u, 2u, 1u));
    rig.bench.pump.AdvanceBy(5000);
    EXPECT_EQ(rig.view.progress.secondsLeft, 0u);
    EXPECT_EQ(rig.view.progress.step, rig.shell->GetTexts().step) << "the wait is over: the job's own step again";
    EXPECT_THAT(rig.view.countdown, ElementsAre(3u, 2u, 1u));
}

TEST(JobShell, OutcomeLinesSayWhatHappenedTheRadioTheBackupAndTheNextStep) {
    JobOutcome o =
        JobOutcome::Failed("Failed to restore configuration", kErrNoResponseReadEeprom, RadioState::kBootLoader);
    o.backup = "/b/x.RM7Config";
    o.next = "Send the firmware again.";
    EXPECT_THAT(o.Lines(),
                ElementsAre("Failed to restore configuration: " + ErrorText(kErrNoResponseReadEeprom),
                            "The radio waits in its boot loader until the next firmware send.",
                            "The configuration was backed up to /b/x.RM7Config", "Send the firmware again."));
    JobOutcome done = JobOutcome::Done("Saved", RadioState::kUnknown);
    done.file = "/f";
    EXPECT_THAT(done.Lines(), ElementsAre("Saved: /f"));
    EXPECT_EQ(std::string(JobResultName(JobResult::kCancelled)), "cancelled");
    EXPECT_EQ(std::string(RadioStateName(RadioState::kBootLoader)), "boot-loader");
}

// A job with no radio (the file-server copy): its work starts on the pump and ends through
// Finish; a stop reaches the work only after the stop question's Yes, and the one outcome follows.
TEST(JobShell, WorkWithoutARadioStopsByTheSameRule) {
    struct Case {
        const char* name;
        bool asks;
        std::optional<bool> answer;  // none: not asked
        bool stopped;
    } const cases[] = {
        {"no question", false, std::nullopt, true},
        {"asked, No", true, false, false},
        {"asked, Yes", true, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CManualPump pump;
        test::CRecordingJobView view;
        CJobShell::Texts texts{"copy", "Copying", std::nullopt, "Copying was cancelled"};
        if (c.asks) {
            texts.stopQuestion = JobQuestion{JobQuestion::Kind::kStop, kStopCaption, "Stop the copy?"};
        }
        CJobShell shell(pump, view, texts);
        bool started = false;
        int stops = 0;
        // The work's stop ends it at once, as the copy's Cancel does.
        shell.RunWork([&] { started = true; },
                      [&] {
                          ++stops;
                          shell.Finish(JobOutcome::Cancelled("Copying was cancelled"));
                      });
        EXPECT_TRUE(started);
        EXPECT_TRUE(shell.Running());
        EXPECT_THAT(view.busy, ElementsAre(true));
        view.answer = c.answer;
        const StopRequest r = shell.RequestStop();
        EXPECT_EQ(view.questions.size(), c.asks ? 1u : 0u);
        EXPECT_EQ(stops, c.stopped ? 1 : 0);
        EXPECT_EQ(r, c.asks ? (c.stopped ? StopRequest::kStopping : StopRequest::kDeclined) : StopRequest::kStopping);
        if (!c.stopped) {
            EXPECT_FALSE(view.Ended());
            shell.Finish(JobOutcome::Done("Copied 2 files"));
        }
        ASSERT_EQ(view.outcomes.size(), 1u);
        EXPECT_EQ(view.Last().job, "copy");
        EXPECT_EQ(view.Last().result, c.stopped ? JobResult::kCancelled : JobResult::kDone);
        EXPECT_THAT(view.busy, ElementsAre(true, false));
        EXPECT_EQ(shell.RequestStop(), StopRequest::kIdle);
    }
}

// A job of quiet steps (the clock's reads) touches neither the busy cursor nor the progress; the
// job holds the busy count itself around what the user asked for.
TEST(JobShell, QuietStepsLeaveTheBusyCountToTheJob) {
    test::CRadioBench bench;
    ASSERT_EQ(bench.Contact(), kOk);
    test::CRecordingJobView view;
    CConfigSaveStateMachine machine{*bench.session};
    CJobShell shell(*bench.session, machine, view, {"quiet", "Reading", std::nullopt, "cancelled", true});
    machine.SetProgressBar(&shell.Progress());
    shell.EnterBusy();
    shell.Run([&] { return machine.StartSave(); }, [](Result r) { return JobOutcome::Failed("Not read", r); });
    ASSERT_TRUE(bench.pump.AdvanceUntil([&] { return view.Ended(); }, 120000));
    EXPECT_THAT(view.busy, ElementsAre(true));  // the job's, still held
    EXPECT_EQ(view.progress.range, 0u);         // no progress shown
    shell.LeaveBusy();
    EXPECT_THAT(view.busy, ElementsAre(true, false));
}

}  // namespace
}  // namespace rm7
