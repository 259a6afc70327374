#include "firmware/loader_job.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "link/contact.h"
#include "link/radio_session.h"
#include "tests/support/firmware_files.h"
#include "tests/support/loader_rig.h"
#include "tests/support/temp_folder.h"

namespace rm7 {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

TEST(LoaderFinish, ResultVersionCheckAndClosing) {
    struct Case {
        const char* name;
        LoaderFinish finish;
        Result result;
        bool closeNow;
        int dialogResult;
        std::vector<std::string> lines;
    };
    const std::filesystem::path mcu = "/fw/fmcu0288.hex";
    const Case cases[] = {
        {"verified, closes by itself",
         {LoaderPart::Mcu, kOk, 0, 0, false, 288, mcu},
         kOk,
         true,
         kLoaderDialogLoaded,
         {"MCU firmware version verified", "MCU firmware load is complete"}},
        {"verified under Trace, stays open",
         {LoaderPart::Dsp, kOk, 3, 2, true, 288, "/fw/fdsp0288.hex"},
         kOk,
         false,
         kLoaderDialogLoaded,
         {"Total number of retries was 3", "Highest number of retries for any block was 2",
          "DSP firmware version verified", "DSP firmware load is complete", "Click \"Close\" to close this window"}},
        {"another version",
         {LoaderPart::Mcu, kOk, 0, 0, false, 254, mcu},
         kErrVersionVerify,
         false,
         kLoaderDialogFailed,
         {"Sent MCU firmware file /fw/fmcu0288.hex\r\nRM7 responded with version 02.54",
          "Firmware version verify failed. Reload MCU firmware.",
          "Error code 0xE2000046: Version number verification failed", "Click \"Close\" to close this window"}},
        // A radio still loading reports no version at all.
        {"still loading",
         {LoaderPart::Mcu, kOk, 0, 0, false, 0xFFFE, mcu},
         kErrVersionVerify,
         false,
         kLoaderDialogFailed,
         {"Sent MCU firmware file /fw/fmcu0288.hex\r\nRM7 responded with version Loading",
          "Firmware version verify failed. Reload MCU firmware.",
          "Error code 0xE2000046: Version number verification failed", "Click \"Close\" to close this window"}},
        // A failed load is not checked: its code stands.
        {"failed",
         {LoaderPart::Mcu, kErrRetryLimit, 12, 8, false, 288, mcu},
         kErrRetryLimit,
         false,
         kLoaderDialogFailed,
         {"Total number of retries was 12", "Highest number of retries for any block was 8",
          "Error code 0xE2000044: Retry limit has been exhausted", "Click \"Close\" to close this window"}},
        // A warning code is a failure too.
        {"warning",
         {LoaderPart::Mcu, kWarnNoResponseToPacket, 0, 0, false, 288, mcu},
         kWarnNoResponseToPacket,
         false,
         kLoaderDialogFailed,
         {"Error code 0xA200004A: No response to firmware packet", "Click \"Close\" to close this window"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const LoaderOutcome out = FinishLoad(c.finish);
        EXPECT_EQ(out.result, c.result);
        EXPECT_EQ(out.closeNow, c.closeNow);
        EXPECT_EQ(out.dialogResult, c.dialogResult);
        EXPECT_EQ(JobLineTexts(out.lines), c.lines);
    }
}

// rm7util picks the lines it prints by their kind: the error carries its code.
TEST(LoaderFinish, OutcomeLinesSayWhatKindTheyAre) {
    const std::filesystem::path mcu = "fmcu0288.hex";
    const LoaderOutcome failed = FinishLoad({LoaderPart::Mcu, kErrRetryLimit, 12, 8, false, 288, mcu});
    std::vector<JobLine::Kind> kinds;
    for (const JobLine& line : failed.lines) {
        kinds.push_back(line.kind);
    }
    using K = JobLine::Kind;
    EXPECT_EQ(kinds, (std::vector<K>{K::Note, K::Note, K::Error, K::Instruction}));
    EXPECT_EQ(failed.lines[2].code, kErrRetryLimit);
    const LoaderOutcome good = FinishLoad({LoaderPart::Mcu, kOk, 0, 0, true, 288, mcu});
    ASSERT_FALSE(good.lines.empty());
    EXPECT_EQ(good.lines.back().kind, K::Instruction);
    EXPECT_EQ(good.lines.front().kind, K::Note);
}

TEST(LoaderClose, ARunningLoadAsksFirstAnIdleOneClosesWithItsResult) {
    struct Case {
        bool running;
        Result stored;
        bool ask;
        int result;
    };
    const Case cases[] = {
        {true, kOk, true, kLoaderDialogFailed},
        {false, kOk, false, kLoaderDialogLoaded},
        {false, kErrVersionVerify, false, kLoaderDialogFailed},
        {false, kErrorAccessDenied, false, kLoaderDialogFailed},
    };
    for (const Case& c : cases) {
        const CloseDecision d = DecideClose(c.running, c.stored);
        EXPECT_EQ(d.ask, c.ask) << c.running << " " << c.stored;
        EXPECT_EQ(d.result, c.result) << c.running << " " << c.stored;
    }
}

TEST(LoaderTexts, TitleAndFirstLines) {
    EXPECT_EQ(LoaderTitle(), "Sending RM7 Firmware");
    CManualPump pump;
    CModel model(pump);
    CRadioSession session(model, std::make_unique<test::CScriptedPort>(pump));
    const std::vector<std::string> lines = LoaderInitialLines(model);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_THAT(lines[0], ::testing::MatchesRegex("RM7 Utility Version [0-9]+\\.[0-9]+\\.[0-9]+\\.[0-9]+"));
    EXPECT_THAT(lines[1], ::testing::MatchesRegex("OS Version [0-9]+\\.[0-9]+ Build [0-9]+ .+"));
    EXPECT_THAT(lines[2], StartsWith("RM7 MCU version ??.??"));
}

TEST(TransferMeter, MeasuresFromTheFirstProgress) {
    CTransferMeter meter;
    meter.Update(0, 128000, 5000);
    EXPECT_EQ(meter.Rate(), 0);
    EXPECT_THAT(meter.Text(), HasSubstr("-:-- left"));
    // The first bytes arrive after a long search for the radio, which must not count.
    meter.Update(128, 128000, 9000);
    meter.Update(128 + 3840, 128000, 10000);
    EXPECT_DOUBLE_EQ(meter.Rate(), 3840);
    EXPECT_EQ(meter.Text(), "   3%    3968/128000 bytes    3.8 kB/s    0:32 left");
    meter.Update(128000, 128000, 42000);
    EXPECT_THAT(meter.Text(), StartsWith(" 100%  128000/128000 bytes"));
    EXPECT_THAT(meter.Text(), HasSubstr("0:00 left"));
}

// The job on the simulated radio: its log, its notice, and the model's active machine.
TEST(LoaderJob, RunsTheMachineAsTheActiveOneAndLogsTheOutcome) {
    test::CTempFolder dir;
    test::WriteHexFile(dir / "fdsp0291.hex", test::DspImageBytes(1000, 2, "0291"), 0);
    test::CLoaderRig rig(rm7sim::Options{});
    ASSERT_EQ(rig.Contact(), kOk);
    CLoaderJob job(*rig.session, LoaderPart::Dsp, dir / "fdsp0291.hex");
    std::vector<std::string> statusLines;
    std::vector<LoaderOutcome> outcomes;
    std::vector<std::string> outcomeLines;
    job.onLog = [&](const std::string& line, CLoaderJob::LogSource source) {
        rig.log.push_back(line);
        if (source == CLoaderJob::LogSource::Machine) {
            statusLines.push_back(line);
        } else if (source == CLoaderJob::LogSource::Outcome) {
            outcomeLines.push_back(line);
        }
    };
    job.onFinished = [&](const LoaderOutcome& o) { outcomes.push_back(o); };
    rig.model->trace.Set(1);
    ASSERT_TRUE(job.Start(&rig.bar));
    EXPECT_EQ(rig.session->ActiveMachine(), &job.Machine());
    EXPECT_TRUE(job.Running());
    EXPECT_EQ(job.OnCloseRequest().ask, true);
    rig.pump.AdvanceUntil([&] { return job.MachineIdle(); }, 600000);
    // The machine is done, but until the contact has read the new version the load has
    // not succeeded, and closing still asks.
    EXPECT_FALSE(job.Finished());
    EXPECT_TRUE(job.OnCloseRequest().ask);
    rig.pump.AdvanceUntil([&] { return job.Finished(); }, 600000);
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_EQ(outcomes[0].result, kOk);
    EXPECT_FALSE(outcomes[0].closeNow);  // Trace keeps the window open
    EXPECT_EQ(outcomeLines, JobLineTexts(outcomes[0].lines));
    EXPECT_EQ(job.OnCloseRequest().ask, false);
    EXPECT_EQ(job.OnCloseRequest().result, kLoaderDialogLoaded);
    // Trace lines reach the log but not the status bar; the machine's other lines do.
    EXPECT_THAT(rig.log, ::testing::Contains(HasSubstr("LoadDspFirmware send LDF240")));
    EXPECT_THAT(statusLines, ::testing::Not(::testing::Contains(HasSubstr(" send "))));
    EXPECT_THAT(statusLines, ::testing::Contains("Waiting 8 seconds for reset"));
    EXPECT_EQ(rig.session->ActiveMachine(), nullptr);
}

TEST(LoaderJob, WaitsForNoOneWhileAnotherMachineTalksToTheRadio) {
    test::CTempFolder dir;
    test::WriteHexFile(dir / "fmcu0288.hex", test::McuImageBytes(1, "0288"), kMcuLowAddress);
    test::CLoaderRig rig(rm7sim::Options{});
    rig.radio->SetSilent(true);
    // The looping search for a radio that does not answer never ends by itself.
    rig.session->Contact().StartAtOpenPort();
    rig.pump.AdvanceBy(1000);
    ASSERT_FALSE(rig.session->Contact().IsIdle());
    CLoaderJob job(*rig.session, LoaderPart::Mcu, dir / "fmcu0288.hex");
    std::vector<Result> results;
    job.onFinished = [&](const LoaderOutcome& o) { results.push_back(o.result); };
    EXPECT_FALSE(job.Start(nullptr));
    EXPECT_THAT(results, ElementsAre(kErrBusyStateMachine));
    EXPECT_TRUE(job.MachineIdle());
    EXPECT_EQ(rig.session->ActiveMachine(), nullptr);
    rig.session->ClosePort();
}

}  // namespace
}  // namespace rm7
