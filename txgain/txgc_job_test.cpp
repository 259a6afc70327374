// What the calibration wizard decides, without a window: buttons per page, when the calibrate
// page may be left, and what Cancel does while the carrier may be keyed.
#include "txgain/txgc_job.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

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

// Each job's backups go into a folder of its own.
struct CBackups {
    test::CTempFolder dir;
    AutoBackupSettings Settings() const { return {true, dir / "backups"}; }
    std::vector<std::filesystem::path> Files() const {
        std::vector<std::filesystem::path> files;
        if (std::filesystem::is_directory(dir / "backups")) {
            for (const auto& entry : std::filesystem::directory_iterator(dir / "backups")) {
                files.push_back(entry.path());
            }
        }
        return files;
    }
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

TEST(TXGCJob, CalibratePageIsKeptWhileTheContactRuns) {
    CRadioBench bench(BenchStart::Contacted);
    CRecordingView view;
    CBackups backups;
    CTXGCJob job(*bench.session, view, backups.Settings());
    job.Open();
    EXPECT_TRUE(job.CanLeaveCalibratePage());
    EXPECT_TRUE(job.QueryCancel());  // nothing runs: the wizard closes at once
    bench.session->Contact().StartAtOpenPort();
    EXPECT_FALSE(job.CanLeaveCalibratePage());
    EXPECT_FALSE(job.QueryCancel());
    bench.pump.AdvanceUntil([&] { return bench.session->Contact().IsIdle(); }, 60000);
    EXPECT_TRUE(job.CanLeaveCalibratePage());
    EXPECT_EQ(job.CompletionText(), kNoCalibrationText);
}

TEST(TXGCJob, CancelDuringTheRunClosesOnlyAfterTheRestore) {
    CRadioBench bench(BenchStart::Contacted);
    CRecordingView view;
    CBackups backups;
    CTXGCJob job(*bench.session, view, backups.Settings());
    job.Open();
    ASSERT_TRUE(job.Calibrate());
    EXPECT_FALSE(view.calibrate);
    EXPECT_FALSE(view.next);
    EXPECT_TRUE(view.busy);
    ASSERT_TRUE(bench.pump.AdvanceUntil([&] { return bench.radio->Transmitting(bench.pump.TickCount()); }, 60000));
    EXPECT_FALSE(job.QueryCancel());
    EXPECT_EQ(view.closes, 0);
    ASSERT_TRUE(bench.pump.AdvanceUntil([&] { return !job.Running(); }, 60000));
    EXPECT_EQ(view.closes, 1);
    EXPECT_FALSE(bench.radio->Transmitting(bench.pump.TickCount()));
    EXPECT_FALSE(view.busy);
    EXPECT_TRUE(view.next);
    EXPECT_TRUE(view.clickNext);
    EXPECT_THAT(view.log, Contains(kCalibrationFailedText));
}

TEST(TXGCJob, GoingAwayMidCarrierStillStopsTheCarrier) {
    CRadioBench bench(BenchStart::Contacted);
    CRecordingView view;
    CBackups backups;
    {
        CTXGCJob job(*bench.session, view, backups.Settings());
        job.Open();
        ASSERT_TRUE(job.Calibrate());
        ASSERT_TRUE(bench.pump.AdvanceUntil([&] { return bench.radio->Transmitting(bench.pump.TickCount()); }, 60000));
    }
    EXPECT_FALSE(bench.radio->Transmitting(bench.pump.TickCount()));
    EXPECT_EQ(bench.session->ActiveMachine(), nullptr);
}

TEST(TXGCJob, PortLostWhileKeyedIsSaidPlainly) {
    auto options = CRadioBench::DefaultOptions();
    options.faults.unplugAtTune = true;
    CRadioBench bench(BenchStart::Contacted, options);
    CRecordingView view;
    CBackups backups;
    CTXGCJob job(*bench.session, view, backups.Settings());
    job.Open();
    ASSERT_TRUE(job.Calibrate());
    ASSERT_TRUE(bench.pump.AdvanceUntil([&] { return !job.Running(); }, 60000));
    EXPECT_THAT(view.log, Contains(kMayStillTransmitText));
    EXPECT_THAT(job.CompletionText(), ::testing::HasSubstr(kMayStillTransmitText));
}

// The radio's configuration is saved before the transmitter is keyed; a backup that fails asks,
// and No leaves the transmitter alone; Cancel while the radio is read keys nothing either.
TEST(TXGCJob, BackupComesBeforeTheFirstCarrier) {
    {
        CRadioBench bench(BenchStart::Contacted);
        CRecordingView view;
        CBackups backups;
        CTXGCJob job(*bench.session, view, backups.Settings());
        job.Open();
        ASSERT_TRUE(job.Calibrate());
        EXPECT_FALSE(job.Calibrate());  // a second start while the backup runs
        ASSERT_TRUE(bench.pump.AdvanceUntil([&] { return bench.radio->Transmitting(bench.pump.TickCount()); }, 600000));
        const auto files = backups.Files();
        ASSERT_EQ(files.size(), 1u);
        EXPECT_THAT(files[0].filename().string(), ::testing::EndsWith(".before-txgain.RM7Config"));
        EXPECT_THAT(view.log, Contains(::testing::HasSubstr(files[0].filename().string())));
        ASSERT_TRUE(bench.pump.AdvanceUntil([&] { return !job.Running(); }, 30 * 60 * 1000));
    }
    for (const bool goOn : {false, true}) {
        CRadioBench bench(BenchStart::Contacted);
        CRecordingView view;
        view.goOnWithoutBackup = goOn;
        CBackups backups;
        test::WriteFile(backups.dir / "backups", std::string("in the way"));
        CTXGCJob job(*bench.session, view, backups.Settings());
        job.Open();
        ASSERT_TRUE(job.Calibrate());
        ASSERT_TRUE(bench.pump.AdvanceUntil([&] { return !job.Running(); }, 30 * 60 * 1000)) << goOn;
        ASSERT_EQ(view.questions.size(), 1u) << goOn;
        EXPECT_THAT(view.questions[0], ::testing::StartsWith("The configuration backup failed: Error code 0x"));
        EXPECT_EQ(bench.radio->Tx().Carriers() > 0, goOn);
        EXPECT_EQ(std::count(view.log.begin(), view.log.end(), std::string(kJobNotStartedText)), goOn ? 0 : 1);
        EXPECT_TRUE(view.calibrate) << goOn;
        EXPECT_FALSE(view.busy) << goOn;
        EXPECT_FALSE(bench.radio->Transmitting(bench.pump.TickCount()));
    }
    {
        CRadioBench bench(BenchStart::Contacted);
        CRecordingView view;
        CBackups backups;
        CTXGCJob job(*bench.session, view, backups.Settings());
        job.Open();
        ASSERT_TRUE(job.Calibrate());
        EXPECT_FALSE(job.CanLeaveCalibratePage());
        EXPECT_FALSE(job.QueryCancel());
        ASSERT_TRUE(bench.pump.AdvanceUntil([&] { return !job.Running(); }, 600000));
        bench.pump.AdvanceBy(1000);
        EXPECT_EQ(view.closes, 1);
        EXPECT_EQ(bench.radio->Tx().Carriers(), 0u);
        EXPECT_TRUE(backups.Files().empty());
        EXPECT_THAT(view.log, Contains(std::string(kJobNotStartedText)));
    }
}

}  // namespace
}  // namespace rm7
