// What the calibration wizard decides, without a window: buttons per page, when the calibrate
// page may be left, and what Cancel does while the carrier may be keyed.
#include "txgain/txgc_job.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "link/contact.h"
#include "tests/support/radio_bench.h"

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

    std::vector<std::string> log;
    bool back = true, next = true, calibrate = true, clickNext = false, busy = false;
    int closes = 0;
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
    CTXGCJob job(*bench.session, view);
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
    CTXGCJob job(*bench.session, view);
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
    {
        CTXGCJob job(*bench.session, view);
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
    CTXGCJob job(*bench.session, view);
    job.Open();
    ASSERT_TRUE(job.Calibrate());
    ASSERT_TRUE(bench.pump.AdvanceUntil([&] { return !job.Running(); }, 60000));
    EXPECT_THAT(view.log, Contains(kMayStillTransmitText));
    EXPECT_THAT(job.CompletionText(), ::testing::HasSubstr(kMayStillTransmitText));
}

}  // namespace
}  // namespace rm7
