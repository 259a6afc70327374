// What the calibration wizard decides, without a window: buttons per page, when the calibrate
// page may be left, and what Cancel does while the carrier may be keyed.
#include "txgain/txgc_job.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>

#include "link/contact.h"
#include "tests/support/firmware_files.h"
#include "tests/support/radio_bench.h"
#include "tests/support/temp_folder.h"

namespace rm7 {
namespace {

using test::BenchStart;
using test::CRadioBench;
using ::testing::Contains;

struct CRecordingView final : ITXGCView {
    void AppendLog(const std::string& line) override { log.push_back(line); }
    void SetWizardButtons(bool b, bool n, bool f) override {
        back = b;
        next = n;
        (void)f;
    }
    void SetCalibrateEnabled(bool enabled) override { calibrate = enabled; }
    void ShowClickNext(bool shown) override { clickNext = shown; }
    void SetBusyCursor(bool b) override { busy = b; }
    void CloseWizard() override { ++closes; }
    bool AskYesNo(const std::string&, const std::string& text) override {
        questions.push_back(text);
        return goOnWithoutBackup;
    }

    std::vector<std::string> log;
    std::vector<std::string> questions;
    bool goOnWithoutBackup = false;
    bool back = true, next = true, calibrate = true, clickNext = false, busy = false;
    int closes = 0;
};

// A job, opened, on the in-process radio; its backups go into a folder of its own.
struct CJobRig {
    explicit CJobRig(const rm7sim::Options& options = CRadioBench::DefaultOptions())
        : bench(BenchStart::Contacted, options),
          job(std::make_unique<CTXGCJob>(*bench.session, view, AutoBackupSettings{true, Backups()})) {
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
        return bench.pump.AdvanceUntil([&] { return !job->Running(); }, 30 * 60 * 1000);
    }

    test::CTempFolder dir;
    CRadioBench bench;
    CRecordingView view;
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

TEST(TXGCJob, CancelDuringTheRunClosesOnlyAfterTheRestore) {
    CJobRig rig;
    CRecordingView& view = rig.view;
    ASSERT_TRUE(rig.job->Calibrate());
    EXPECT_FALSE(view.calibrate);
    EXPECT_FALSE(view.next);
    EXPECT_TRUE(view.busy);
    ASSERT_TRUE(rig.AdvanceUntilKeyed());
    EXPECT_FALSE(rig.job->QueryCancel());
    EXPECT_EQ(view.closes, 0);
    ASSERT_TRUE(rig.AdvanceUntilEnded());
    EXPECT_EQ(view.closes, 1);
    EXPECT_FALSE(rig.Keyed());
    EXPECT_FALSE(view.busy);
    EXPECT_TRUE(view.next);
    EXPECT_TRUE(view.clickNext);
    EXPECT_THAT(view.log, Contains(kCalibrationFailedText));
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
        rig.view.goOnWithoutBackup = goOn;
        test::WriteFile(rig.Backups(), std::string("in the way"));
        ASSERT_TRUE(rig.job->Calibrate());
        ASSERT_TRUE(rig.AdvanceUntilEnded());
        ASSERT_EQ(rig.view.questions.size(), 1u);
        EXPECT_THAT(rig.view.questions[0], ::testing::StartsWith("The configuration backup could not be written into " +
                                                                 rig.Backups().string() + ": Error code 0x"));
        EXPECT_EQ(rig.bench.radio->Tx().Carriers() > 0, goOn);
        EXPECT_EQ(std::count(rig.view.log.begin(), rig.view.log.end(), std::string(kJobNotStartedText)), goOn ? 0 : 1);
        EXPECT_TRUE(rig.view.calibrate);
        EXPECT_FALSE(rig.view.busy);
        EXPECT_FALSE(rig.Keyed());
    }
    {
        CJobRig rig;
        ASSERT_TRUE(rig.job->Calibrate());
        EXPECT_FALSE(rig.job->CanLeaveCalibratePage());
        EXPECT_FALSE(rig.job->QueryCancel());
        ASSERT_TRUE(rig.AdvanceUntilEnded());
        rig.bench.pump.AdvanceBy(1000);
        EXPECT_EQ(rig.view.closes, 1);
        EXPECT_EQ(rig.bench.radio->Tx().Carriers(), 0u);
        EXPECT_TRUE(rig.BackupFiles().empty());
        EXPECT_THAT(rig.view.log, Contains(std::string(kJobNotStartedText)));
    }
}

}  // namespace
}  // namespace rm7
