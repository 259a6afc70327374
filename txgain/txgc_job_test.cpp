// What the calibration wizard decides, without a window: buttons per page, when the calibrate
// page may be left, what Cancel does while the carrier may be keyed, and the outcome each run
// ends with, through the job shell and its recording view.
#include "txgain/txgc_job.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>

#include "link/contact.h"
#include "tests/support/firmware_files.h"
#include "tests/support/radio_bench.h"
#include "tests/support/recording_job_view.h"
#include "tests/support/temp_folder.h"

namespace rm7 {
namespace {

using test::BenchStart;
using test::CRadioBench;
using ::testing::Contains;

// A job, opened, on the in-process radio; its backups go into a folder of its own.
struct CJobRig {
    explicit CJobRig(const rm7sim::Options& options = CRadioBench::DefaultOptions())
        : bench(BenchStart::Contacted, options),
          job(std::make_unique<CTXGCJob>(*bench.session, view, AutoBackupSettings{true, Backups()})) {
        view.answer = false;
        job->Open();
    }
    std::filesystem::path Backups() const { return dir / "backups"; }
    std::vector<std::filesystem::path> BackupFiles() const {
        std::vector<std::filesystem::path> files;
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(Backups(), ec)) {
            files.push_back(entry.path());
        }
        return files;
    }
    bool Keyed() { return bench.radio->Transmitting(bench.pump.TickCount()); }
    bool AdvanceUntilKeyed() {
        return bench.pump.AdvanceUntil([&] { return Keyed(); }, 600000);
    }
    bool AdvanceUntilEnded() {
        return bench.pump.AdvanceUntil([&] { return view.Ended() && !job->Running(); }, 30 * 60 * 1000);
    }

    test::CTempFolder dir;
    CRadioBench bench;
    test::CRecordingJobView view;
    std::unique_ptr<CTXGCJob> job;
};

TEST(TXGCJob, ButtonsPerPage) {
    using Page = CTXGCJob::Page;
    struct Case {
        Page page;
        bool back, next, finish;
    } const cases[] = {{Page::Welcome, false, true, false},
                       {Page::DummyLoad, true, true, false},
                       {Page::Calibrate, true, true, false},
                       {Page::Completion, true, false, true}};
    for (const Case& c : cases) {
        const CTXGCJob::Buttons b = CTXGCJob::ButtonsFor(c.page);
        EXPECT_EQ(b.back, c.back);
        EXPECT_EQ(b.next, c.next);
        EXPECT_EQ(b.finish, c.finish);
    }
}

TEST(TXGCJob, AvailableOnlyWhileAnRM7RunsItsFirmware) {
    CRadioBench bench(BenchStart::Contacted);
    CModel& model = *bench.model;
    const struct {
        FirmwareStatusEnum status;
        TarnwellDevice device;
        bool available;
    } cases[] = {{kFirmwareRunning, kDeviceRM7, true},
                 {kFirmwareBootLoader, kDeviceRM7, false},
                 {kFirmwareRunning, kDeviceRM6, false}};
    for (const auto& c : cases) {
        model.firmwareStatus.Set(c.status);
        model.deviceKind.Set(c.device);
        EXPECT_EQ(CTXGCJob::Available(model), c.available) << int(c.status) << " " << int(c.device);
    }
}

TEST(TXGCJob, CalibratePageIsKeptWhileTheContactRuns) {
    CJobRig rig;
    CTXGCJob& job = *rig.job;
    EXPECT_TRUE(job.CanLeaveCalibratePage());
    EXPECT_TRUE(job.QueryCancel());  // nothing runs: the wizard closes at once
    rig.bench.session->Contact().StartAtOpenPort();
    EXPECT_FALSE(job.CanLeaveCalibratePage());
    EXPECT_FALSE(job.QueryCancel());
    rig.bench.pump.AdvanceUntil([&] { return rig.bench.session->Contact().IsIdle(); }, 60000);
    EXPECT_TRUE(job.CanLeaveCalibratePage());
    EXPECT_EQ(job.CompletionText(), kNoCalibrationText);
}

// Cancel mid-carrier: nothing closes until the restore is done; the outcome says cancelled, that
// the radio answers in receive with its settings back, and where the backup went.
TEST(TXGCJob, CancelDuringTheRunEndsOnlyAfterTheRestore) {
    CJobRig rig;
    test::CRecordingJobView& view = rig.view;
    ASSERT_TRUE(rig.job->Calibrate());
    EXPECT_EQ(view.busy, std::vector<bool>{true});
    ASSERT_TRUE(rig.AdvanceUntilKeyed());
    EXPECT_FALSE(rig.job->QueryCancel());
    EXPECT_FALSE(view.Ended());
    ASSERT_TRUE(rig.AdvanceUntilEnded());
    EXPECT_TRUE(rig.job->QueryCancel());  // ended: the window may close now
    EXPECT_FALSE(rig.Keyed());
    EXPECT_EQ(view.busy, (std::vector<bool>{true, false}));
    EXPECT_THAT(view.log, Contains(kCalibrationFailedText));
    ASSERT_EQ(view.outcomes.size(), 1u);
    const JobOutcome& o = view.Last();
    EXPECT_EQ(o.result, JobResult::kCancelled);
    EXPECT_EQ(o.code, kErrorCancelled);
    EXPECT_EQ(o.job, "calibrate");
    EXPECT_EQ(o.radio, RadioState::kRunning);
    ASSERT_EQ(rig.BackupFiles().size(), 1u);
    EXPECT_EQ(o.backup, rig.BackupFiles()[0]);
    EXPECT_EQ(o.Lines(),
              (std::vector<std::string>{
                  std::string(kCalibrationCancelledText) + ": no band was calibrated; " + kSettingsPutBackText,
                  RadioStateText(RadioState::kRunning),
                  "The configuration was backed up to " + rig.BackupFiles()[0].string()}));
    EXPECT_THAT(rig.job->CompletionText(), ::testing::EndsWith(o.Text() + "\n"));
}

// A whole run: the outcome names every band it calibrated and that the settings were put back.
TEST(TXGCJob, SuccessNamesTheBandsAndTheSettingsPutBack) {
    CJobRig rig;
    ASSERT_TRUE(rig.job->Calibrate());
    ASSERT_TRUE(rig.AdvanceUntilEnded());
    ASSERT_EQ(rig.view.outcomes.size(), 1u);
    const JobOutcome& o = rig.view.Last();
    EXPECT_EQ(o.result, JobResult::kDone) << o.Text();
    EXPECT_EQ(o.what,
              std::string(kCalibrationSucceededText) +
                  ": calibrated on 11 bands (160 m, 80 m, 60 m, 40 m, 30 m, 20 m, 17 m, 15 m, 12 m, 10 m, 6 m); " +
                  kSettingsPutBackText);
    EXPECT_EQ(o.radio, RadioState::kRunning);
    EXPECT_TRUE(o.next.empty());
    EXPECT_FALSE(o.backup.empty());
    EXPECT_EQ(std::count(rig.view.log.begin(), rig.view.log.end(), std::string(kCalibrationSucceededText)), 1);
}

// What the wizard shows while a run goes on, from the run's own events: the backup, the
// preparation, each band's 4 W and 6 W steps in order with the carrier keyed, the time spent and
// left, the last restore; then a row per band. The 60 m band is out of band on this radio.
TEST(TXGCJob, ProgressFollowsEachBandAndPowerStepAndEndsInARowPerBand) {
    auto options = CRadioBench::DefaultOptions();
    options.faults.outOfBand = 2;
    CJobRig rig(options);
    std::vector<TXGCProgress> told;
    rig.job->SetProgressListener([&](const TXGCProgress& p) { told.push_back(p); });
    EXPECT_TRUE(rig.job->BandRows().empty());
    ASSERT_TRUE(rig.job->Calibrate());
    ASSERT_TRUE(rig.AdvanceUntilEnded());
    ASSERT_FALSE(told.empty());
    EXPECT_EQ(told.front().phase, TXGCProgress::Phase::kBackup);
    EXPECT_EQ(told.back().phase, TXGCProgress::Phase::kRestoring);
    EXPECT_EQ(ProgressStepText(told.back()), "Putting the radio's settings back");

    using Step = std::pair<std::uint32_t, std::uint32_t>;  // band, watts
    std::vector<Step> steps;
    std::vector<Step> keyed;
    bool preparedFirst = false;
    for (std::size_t i = 1; i < told.size(); ++i) {
        const TXGCProgress& p = told[i];
        EXPECT_GE(p.position, told[i - 1].position);
        EXPECT_GE(p.elapsedSeconds, told[i - 1].elapsedSeconds);
        preparedFirst = preparedFirst || (p.phase == TXGCProgress::Phase::kPreparing && steps.empty());
        if (p.phase != TXGCProgress::Phase::kBand) {
            continue;
        }
        if (steps.empty() || steps.back() != Step{p.band, p.watts}) {
            steps.push_back({p.band, p.watts});
        }
        if (p.transmitting && (keyed.empty() || keyed.back() != Step{p.band, p.watts})) {
            keyed.push_back({p.band, p.watts});
        }
    }
    EXPECT_TRUE(preparedFirst);
    std::vector<Step> expected;
    std::vector<Step> expectedKeyed;
    for (std::uint32_t band = 1; band <= 11; ++band) {
        for (const std::uint32_t watts : {0u, 4u, 6u}) {
            if (band != 3 || watts != 6) {  // out of band: no 6 W step
                expected.push_back({band, watts});
            }
            if (watts != 0 && (band != 3 || watts != 6)) {
                expectedKeyed.push_back({band, watts});
            }
        }
    }
    EXPECT_EQ(steps, expected);
    EXPECT_EQ(keyed, expectedKeyed);

    // The estimate: none before a step has been timed, then shrinking towards the end.
    const auto at = [&](std::uint32_t band, std::uint32_t watts) {
        return std::find_if(told.begin(), told.end(), [&](const TXGCProgress& p) {
            return p.phase == TXGCProgress::Phase::kBand && p.band == band && p.watts == watts;
        });
    };
    EXPECT_FALSE(at(1, 4)->secondsLeft.has_value());
    ASSERT_TRUE(at(2, 4)->secondsLeft.has_value());
    ASSERT_TRUE(at(11, 4)->secondsLeft.has_value());
    EXPECT_GT(*at(2, 4)->secondsLeft, *at(11, 4)->secondsLeft);
    EXPECT_GT(told.back().elapsedSeconds, 10u);

    const std::vector<TXGCBandRow> rows = rig.job->BandRows();
    ASSERT_EQ(rows.size(), 11u);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(rows[i].band);
        if (i == 2) {
            EXPECT_EQ(rows[i].result, "Out of band");
            EXPECT_EQ(rows[i].sixWatts, "-");
        } else {
            EXPECT_EQ(rows[i].result, "Calibrated");
            EXPECT_EQ(rows[i].fourWatts, "4.0 W");
            EXPECT_EQ(rows[i].sixWatts, "6.0 W");
        }
    }
    EXPECT_EQ(rows[0].band, "160 m");
    EXPECT_EQ(rows[0].frequency, "1.900 MHz");
    EXPECT_EQ(rows[10].frequency, "52.000 MHz");
}

// Stopped at the first carrier: the step says the radio is being put back, and the table shows
// the band that was stopped and those never reached.
TEST(TXGCJob, AStoppedRunSaysItPutsTheRadioBackAndWhichBandsWereNotReached) {
    CJobRig rig;
    std::vector<TXGCProgress> told;
    rig.job->SetProgressListener([&](const TXGCProgress& p) { told.push_back(p); });
    ASSERT_TRUE(rig.job->Calibrate());
    ASSERT_TRUE(rig.AdvanceUntilKeyed());
    EXPECT_FALSE(rig.job->QueryCancel());
    ASSERT_FALSE(told.empty());
    EXPECT_TRUE(told.back().stopping);
    EXPECT_THAT(ProgressStepText(told.back()), ::testing::StartsWith("Stopping: the radio goes back to receive"));
    ASSERT_TRUE(rig.AdvanceUntilEnded());
    const std::vector<TXGCBandRow> rows = rig.job->BandRows();
    ASSERT_EQ(rows.size(), 11u);
    EXPECT_EQ(rows[0].result, "Not calibrated");
    for (std::size_t i = 1; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].result, "Not reached") << rows[i].band;
        EXPECT_EQ(rows[i].fourWatts, "-");
    }
    EXPECT_EQ(CompletionTitle(rig.job->Shell().Outcome()), "Calibration Cancelled");
}

TEST(TXGCProgress, TimeLeftIsThePaceOfTheStepsDone) {
    struct Case {
        std::uint32_t doneMs, done, currentMs;
        std::optional<std::uint32_t> left;
    } const cases[] = {
        {0, 0, 5000, std::nullopt},     // nothing timed yet
        {10000, 1, 0, 210},             // 10 s a step, 21 to go
        {10000, 1, 4000, 206},          // the current step has had 4 s of its 10
        {200000, 20, 9000, 11},         // the last step, nearly done
        {200000, 20, 60000, 0},         // slower than the pace: never below nothing
        {210000, 22, 0, std::nullopt},  // all done
    };
    for (const Case& c : cases) {
        EXPECT_EQ(EstimateSecondsLeft(c.doneMs, c.done, c.currentMs), c.left) << c.doneMs << " " << c.done;
    }
    TXGCProgress p;
    p.elapsedSeconds = 83;
    EXPECT_EQ(ProgressTimeText(p), "Elapsed 1:23");
    p.secondsLeft = 130;
    EXPECT_EQ(ProgressTimeText(p), "Elapsed 1:23, about 2:10 left");
}

TEST(TXGCJob, GoingAwayMidCarrierStillStopsTheCarrier) {
    CJobRig rig;
    ASSERT_TRUE(rig.job->Calibrate());
    ASSERT_TRUE(rig.AdvanceUntilKeyed());
    rig.job.reset();
    EXPECT_FALSE(rig.Keyed());
    EXPECT_EQ(rig.bench.session->ActiveMachine(), nullptr);
}

TEST(TXGCJob, PortLostWhileKeyedIsSaidPlainly) {
    auto options = CRadioBench::DefaultOptions();
    options.faults.unplugAtTune = true;
    CJobRig rig(options);
    ASSERT_TRUE(rig.job->Calibrate());
    ASSERT_TRUE(rig.AdvanceUntilEnded());
    EXPECT_THAT(rig.view.log, Contains(kMayStillTransmitText));
    EXPECT_THAT(rig.job->CompletionText(), ::testing::HasSubstr(kMayStillTransmitText));
    // Nobody heard the radio say receive: its state is not claimed, and the next step is said.
    ASSERT_EQ(rig.view.outcomes.size(), 1u);
    EXPECT_EQ(rig.view.Last().result, JobResult::kFailed);
    EXPECT_EQ(rig.view.Last().radio, RadioState::kUnknown);
    EXPECT_EQ(rig.view.Last().next, kMayStillTransmitText);
    EXPECT_THAT(rig.view.Last().why, ::testing::Not(::testing::HasSubstr(kSettingsPutBackText)));
}

// The radio's configuration is saved before the transmitter is keyed; a backup that fails asks,
// and No leaves the transmitter alone; Cancel while the radio is read keys nothing either.
TEST(TXGCJob, BackupComesBeforeTheFirstCarrier) {
    {
        CJobRig rig;
        ASSERT_TRUE(rig.job->Calibrate());
        EXPECT_FALSE(rig.job->Calibrate());  // a second start while the backup runs
        ASSERT_TRUE(rig.AdvanceUntilKeyed());
        const auto files = rig.BackupFiles();
        ASSERT_EQ(files.size(), 1u);
        EXPECT_THAT(files[0].filename().string(), ::testing::EndsWith(".before-txgain.RM7Config"));
        EXPECT_THAT(rig.view.log, Contains(::testing::HasSubstr(files[0].filename().string())));
        ASSERT_TRUE(rig.AdvanceUntilEnded());
    }
    for (const bool goOn : {false, true}) {
        SCOPED_TRACE(goOn ? "go on without a backup" : "stop");
        CJobRig rig;
        rig.view.answer = goOn;
        test::WriteFile(rig.Backups(), std::string("in the way"));
        ASSERT_TRUE(rig.job->Calibrate());
        ASSERT_TRUE(rig.AdvanceUntilEnded());
        ASSERT_EQ(rig.view.questions.size(), 1u);
        EXPECT_EQ(rig.view.questions[0].kind, JobQuestion::Kind::kGoOnWithoutBackup);
        EXPECT_THAT(rig.view.questions[0].text,
                    ::testing::StartsWith("The configuration backup could not be written into " +
                                          rig.Backups().string() + ": Error code 0x"));
        EXPECT_EQ(rig.bench.radio->Tx().Carriers() > 0, goOn);
        ASSERT_EQ(rig.view.outcomes.size(), 1u);
        EXPECT_EQ(rig.view.Last().what == kJobNotStartedText, !goOn);
        EXPECT_EQ(rig.view.Last().result, goOn ? JobResult::kDone : JobResult::kFailed);
        EXPECT_TRUE(rig.view.Last().backup.empty());
        EXPECT_EQ(rig.view.busy, (std::vector<bool>{true, false}));
        EXPECT_TRUE(rig.job->Calibrate());  // another run may start
        rig.job->Close();
        EXPECT_FALSE(rig.Keyed());
    }
    {
        CJobRig rig;
        ASSERT_TRUE(rig.job->Calibrate());
        EXPECT_FALSE(rig.job->CanLeaveCalibratePage());
        EXPECT_FALSE(rig.job->QueryCancel());
        ASSERT_TRUE(rig.AdvanceUntilEnded());
        rig.bench.pump.AdvanceBy(1000);
        EXPECT_EQ(rig.bench.radio->Tx().Carriers(), 0u);
        EXPECT_TRUE(rig.BackupFiles().empty());
        ASSERT_EQ(rig.view.outcomes.size(), 1u);
        EXPECT_EQ(rig.view.Last().result, JobResult::kCancelled);
        EXPECT_EQ(rig.view.Last().what, kCalibrationCancelledText);
        EXPECT_EQ(rig.view.Last().radio, RadioState::kUnchanged);
    }
}

}  // namespace
}  // namespace rm7
