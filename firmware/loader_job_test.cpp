#include "firmware/loader_job.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "link/contact.h"
#include "link/radio_session.h"
#include "platform/result_codes.h"
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
        // The cable pulled: the next load takes it up, and the window says so.
        {"unplugged",
         {LoaderPart::Mcu, kErrPortGone, 0, 0, false, 0, mcu},
         kErrPortGone,
         false,
         kLoaderDialogFailed,
         {"Error code 0xE2000210: The radio's serial port went away (cable or adapter unplugged)",
          "Plug the cable back in and send the firmware again (Send New Firmware): the radio's boot loader is "
          "found again.",
          "Click \"Close\" to close this window"}},
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

// What the loader dialog sends goes through the job: a file it refuses ends the job before
// the first byte, with the line and code in the log, and the model's view of the radio kept.
TEST(LoaderJob, RefusesHostileFilesBeforeTheRadioIsTouched) {
    using test::Record;
    test::CTempFolder dir;
    const std::string eof = std::string(test::kEofRecord) + "\r\n";
    const std::vector<std::uint8_t> mcu = test::McuImageBytes(3, "0288");
    std::vector<std::uint8_t> corrupt = mcu;
    corrupt[0] = 0x12;  // a stored value, but the image does not sum to zero
    test::WriteHexFile(dir / "fmcu0290.hex", corrupt, kMcuLowAddress);
    test::WriteHexFile(dir / "fmcu.hex", mcu, kMcuLowAddress);
    test::WriteHexFile(dir / "fmcu0288.hex", mcu, kMcuLowAddress);
    test::WriteHexFile(dir / "fdsp0288.hex", test::DspImageBytes(200, 4, "0288"), 0);
    test::WriteFile(dir / "fdsp.hex", Record(0, 0, {1, 2, 3}) + "\r\n" + eof);
    test::WriteFile(dir / "fmcu0291.hex", Record(0, 0x800, {1, 2, 3}) + "\r\n");
    test::WriteFile(dir / "fmcu0292.hex", Record(0, 0x700, {1, 2, 3}) + "\r\n" + eof);
    test::WriteFile(dir / "fmcu0293.hex", Record(0, 0x800, {1, 2, 3}) + "\r\n" + Record(0, 0x900, {4}) + "\r\n" +
                                              Record(0, 0x802, {9}) + "\r\n" + eof);
    test::WriteFile(dir / "fdsp0289.hex", eof);
    const struct {
        LoaderPart part;
        const char* file;
        Result result;
        const char* line;
    } cases[] = {
        {LoaderPart::Mcu, "fmcu0289.hex", kErrorFileNotFound, "Line 0, error code 0x00000002: "},
        {LoaderPart::Mcu, "fmcu0290.hex", kErrHexImageChecksum, "File does not checksum to zero. Checksum is 0x"},
        {LoaderPart::Mcu, "fmcu0291.hex", kErrHexNoEof,
         "Line 2, error code 0xE2000023: Missing intel hex end-of-file record"},
        {LoaderPart::Mcu, "fdsp0288.hex", kErrFirmwareNameKind,
         "Line 0, error code 0xE2000220: Firmware file name is not for this processor"},
        {LoaderPart::Mcu, "fmcu.hex", kErrFirmwareNameVersion,
         "Line 0, error code 0xE2000221: Firmware file name carries no version number"},
        {LoaderPart::Mcu, "fmcu0292.hex", kErrFirmwareImageEmpty,
         "Line 2, error code 0xE2000222: Firmware file holds no data for this processor"},
        {LoaderPart::Mcu, "fmcu0293.hex", kErrHexOverlap,
         "Line 3, error code 0xE2000223: intel hex record overlaps an earlier record with different data"},
        {LoaderPart::Dsp, "fmcu0288.hex", kErrFirmwareNameKind, "Line 0, error code 0xE2000220: "},
        {LoaderPart::Dsp, "fdsp.hex", kErrFirmwareNameVersion, "Line 0, error code 0xE2000221: "},
        {LoaderPart::Dsp, "fdsp0289.hex", kErrFirmwareImageEmpty, "Line 1, error code 0xE2000222: "},
    };
    test::CLoaderRig rig;
    test::CScriptedRadio radio;
    radio.Attach(*rig.scriptedPort);
    ASSERT_EQ(rig.Contact(), kOk);
    const std::uint16_t mcuVersion = rig.model->firmwareVersions.Get(0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        rig.scriptedPort->sent.clear();
        rig.log.clear();
        CLoaderJob refused(*rig.session, c.part, dir / c.file);
        ASSERT_TRUE(rig.Run(refused));
        EXPECT_EQ(refused.GetResult(), c.result);
        EXPECT_TRUE(rig.scriptedPort->sent.empty());
        EXPECT_THAT(rig.log, ::testing::Contains(HasSubstr(c.line)));
        // The radio was never touched: what the model knows of it still holds.
        EXPECT_EQ(rig.model->firmwareStatus.Get(), kFirmwareRunning);
        EXPECT_EQ(rig.model->firmwareVersions.Get(0), mcuVersion);
        EXPECT_EQ(rig.session->ActiveMachine(), nullptr);
    }
}

}  // namespace
}  // namespace rm7
