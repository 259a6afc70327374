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
