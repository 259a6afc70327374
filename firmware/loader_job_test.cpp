#include "firmware/loader_job.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "firmware/mcu_loader.h"
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
        // The radio's port on the network dropped the connection: the same state, its own words.
        {"connection closed",
         {LoaderPart::Mcu, kErrNetClosed, 0, 0, false, 0, mcu},
         kErrNetClosed,
         false,
         kLoaderDialogFailed,
         {"Error code 0xE2000265: The connection to the radio's port was closed by the far end",
          "When the radio's port on the network can be reached again, send the firmware again (Send New Firmware): "
          "the radio's boot loader waits for the next send.",
          "Click \"Close\" to close this window"}},
        {"connection gone silent during a DSP load",
         {LoaderPart::Dsp, kErrNetSilent, 0, 0, false, 0, "/fw/fdsp0288.hex"},
         kErrNetSilent,
         false,
         kLoaderDialogFailed,
         {"Error code 0xE2000266: The connection to the radio's port was lost: nothing came back from the far end",
          "When the radio's port on the network can be reached again, turn the radio off and on and send the "
          "firmware again (Send New Firmware): the DSP load starts over.",
          "Click \"Close\" to close this window"}},
        // Stopped by the user: not a failure; the window says what the radio does now.
        {"stopped, MCU",
         {LoaderPart::Mcu, kErrorCancelled, 2, 1, false, 0, mcu},
         kErrorCancelled,
         false,
         kLoaderDialogCancelled,
         {"Total number of retries was 2", "Highest number of retries for any block was 1",
          "MCU firmware load was cancelled",
          "The radio will wait in its boot loader until the next firmware send (Send New Firmware).",
          "Click \"Close\" to close this window"}},
        {"stopped, DSP",
         {LoaderPart::Dsp, kErrorCancelled, 0, 0, false, 0, "/fw/fdsp0288.hex"},
         kErrorCancelled,
         false,
         kLoaderDialogCancelled,
         {"DSP firmware load was cancelled",
          "The radio will wait for the rest of its DSP firmware until it is turned off and on; the next firmware "
          "send then starts the DSP load over.",
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
        {true, kOk, true, kLoaderDialogCancelled},
        {false, kOk, false, kLoaderDialogLoaded},
        {false, kErrorCancelled, false, kLoaderDialogCancelled},
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
    // A radio owner's log opens with the radio; the program's and the system's versions only
    // under Verbose Logging or Trace.
    const std::vector<std::string> plain = LoaderInitialLines(model);
    ASSERT_EQ(plain.size(), 1u);
    EXPECT_THAT(plain[0], StartsWith("RM7 MCU version ??.??"));
    for (const bool trace : {false, true}) {
        model.verboseLogging.Set(trace ? 0 : 1);
        model.trace.Set(trace ? 1 : 0);
        const std::vector<std::string> lines = LoaderInitialLines(model);
        ASSERT_EQ(lines.size(), 3u);
        EXPECT_THAT(lines[0], ::testing::MatchesRegex("RM7 Utility Version [0-9]+\\.[0-9]+\\.[0-9]+\\.[0-9]+"));
        EXPECT_THAT(lines[1], ::testing::MatchesRegex("OS Version [0-9]+\\.[0-9]+ Build [0-9]+ .+"));
        EXPECT_THAT(lines[2], StartsWith("RM7 MCU version ??.??"));
    }
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

// Both loaders on a scripted radio, one answer of a good load changed: the answers to the sends
// of the first piece (MCU block 0x800, DSP chunk 0) in the initial pass, then what the run came to.
struct FaultCase {
    const char* name;
    LoaderPart part;
    std::vector<std::string> pieceAnswers;
    std::vector<std::string> pollAnswers;
    Result result;
    std::size_t sendsOfFirstPiece;
    std::size_t polls;
    std::string logLine;
    unsigned long retryLimit = 10;  // the model's firmware load retry limit
};

void PrintTo(const FaultCase& c, std::ostream* os) {
    *os << c.name;
}

std::uint32_t McuPacketAddress(const std::string& packet) {
    auto byte = [&](std::size_t i) { return static_cast<std::uint32_t>(static_cast<std::uint8_t>(packet[i])); };
    return byte(128) | byte(129) << 8 | byte(130) << 16;
}

class LoaderFaultTest : public ::testing::TestWithParam<FaultCase> {};

TEST_P(LoaderFaultTest, RejectionsTimeOutsAndResynchronisation) {
    const FaultCase& c = GetParam();
    const bool mcu = c.part == LoaderPart::Mcu;
    test::CTempFolder dir;
    const std::vector<std::uint8_t> image = mcu ? test::McuImageBytes(7, "0288") : test::DspImageBytes(130, 9, nullptr);
    const std::filesystem::path file = dir / (mcu ? "fmcu0288.hex" : "fdsp0288.hex");
    test::WriteHexFile(file, image, mcu ? kMcuLowAddress : 0);
    test::CLoaderRig rig;
    test::CScriptedRadio radio;
    radio.pieceAnswers = c.pieceAnswers;
    radio.pollAnswers = c.pollAnswers;
    rig.model->firmwareLoadRetryLimit.Set(c.retryLimit);
    // The count of fill bytes is logged under Verbose Logging only.
    const bool fills = c.logLine.find("fill bytes") != std::string::npos;
    rig.model->verboseLogging.Set(fills ? 1 : 0);
    radio.Attach(*rig.scriptedPort);
    ASSERT_EQ(rig.Contact(), kOk);
    rig.scriptedPort->sent.clear();
    CLoaderJob job(*rig.session, c.part, file);
    ASSERT_TRUE(rig.Run(job)) << "the load never finished";
    EXPECT_EQ(job.GetResult(), c.result);
    if (mcu) {
        // By address: block 0x800 goes again last, as 0x20800.
        const auto& sent = rig.scriptedPort->sent;
        EXPECT_EQ(std::count_if(sent.begin(), sent.end(),
                                [](const test::Sent& s) {
                                    return s.text.size() == kMcuPacketSize &&
                                           McuPacketAddress(s.text) == kMcuLowAddress;
                                }),
                  c.sendsOfFirstPiece);
    } else {
        const std::string first(reinterpret_cast<const char*>(image.data()), 64);
        EXPECT_EQ(std::count(radio.pieces.begin(), radio.pieces.end(), first), c.sendsOfFirstPiece);
        // Each send of a chunk is announced again.
        EXPECT_EQ(radio.announcements.size(), radio.pieces.size());
    }
    EXPECT_EQ(radio.polls, c.polls);
    EXPECT_THAT(rig.log, ::testing::Contains(c.logLine));
    if (!fills) {
        EXPECT_THAT(rig.log, ::testing::Not(::testing::Contains(::testing::HasSubstr("fill bytes"))));
    }
}

const std::vector<std::string> kNak8(8, "N");
const std::vector<std::string> kSilent11(11, "");
const std::vector<std::string> kSilent100(100, "");
const std::vector<std::string> kSilent200(200, "");

INSTANTIATE_TEST_SUITE_P(
    Rows, LoaderFaultTest,
    ::testing::Values(
        // Four rejections are sent again at once.
        FaultCase{"McuFourNaks",
                  LoaderPart::Mcu,
                  {"N", "N", "N", "N", "A"},
                  {},
                  kOk,
                  5,
                  0,
                  "Retry 4 succeeded at address x0880"},
        FaultCase{"DspFourNaks",
                  LoaderPart::Dsp,
                  {"N", "N", "N", "N", "A"},
                  {},
                  kOk,
                  5,
                  0,
                  "Retry 4 succeeded at address x0040"},
        // The fifth resynchronises first (a resynchronisation counts the poll it sends first); the
        // 'N' comes before any poll timed out.
        FaultCase{"McuFiveNaks",
                  LoaderPart::Mcu,
                  {"N", "N", "N", "N", "N", "A"},
                  {},
                  kOk,
                  6,
                  1,
                  "Retry 5 succeeded at address x0880"},
        FaultCase{"DspFiveNaks",
                  LoaderPart::Dsp,
                  {"N", "N", "N", "N", "N", "A"},
                  {},
                  kOk,
                  6,
                  1,
                  "Retry 5 successful at address x0040, 1 fill bytes"},
        FaultCase{"McuEightNaks",
                  LoaderPart::Mcu,
                  kNak8,
                  {},
                  kErrRetryLimit,
                  8,
                  1,
                  "Send MCU firmware failed at load address x0880"},
        FaultCase{"DspEightNaks",
                  LoaderPart::Dsp,
                  kNak8,
                  {},
                  kErrRetryLimit,
                  8,
                  1,
                  "Send DSP firmware failed at load address x0040"},
        // Every time-out resynchronises, up to the retry limit of 10.
        FaultCase{"McuTimeOuts",
                  LoaderPart::Mcu,
                  kSilent11,
                  {},
                  kErrNoResponsePacket,
                  11,
                  10,
                  "Send MCU firmware failed at load address x0880"},
        FaultCase{"DspTimeOuts",
                  LoaderPart::Dsp,
                  kSilent11,
                  {},
                  kErrNoResponsePacket,
                  11,
                  10,
                  "Send DSP firmware failed at load address x0040"},
        FaultCase{"McuTimeOutsWithLimitTwo",
                  LoaderPart::Mcu,
                  kSilent11,
                  {},
                  kErrNoResponsePacket,
                  3,
                  2,
                  "Error code 0xE200004B: No response to firmware packet",
                  2},
        // 'C' ends the gathered answer but the packet's time-out still runs.
        FaultCase{"McuC", LoaderPart::Mcu, {"C", "A"}, {}, kOk, 2, 1, "Retry 1 succeeded at address x0880"},
        FaultCase{"McuFillBytes",
                  LoaderPart::Mcu,
                  {"N", "", "A"},
                  {"", "", "", "", "", "N"},
                  kOk,
                  3,
                  6,
                  "Retry 2 successful at address x0880, 5 fill bytes"},
        FaultCase{"DspFillBytes",
                  LoaderPart::Dsp,
                  {"", "A"},
                  {"", "", "", "", "N"},
                  kOk,
                  2,
                  5,
                  "Retry 1 successful at address x0040, 5 fill bytes"},
        // The first poll and 132 more (MCU) or 72 (DSP), then the run gives up.
        FaultCase{"McuNoBoundary",
                  LoaderPart::Mcu,
                  {""},
                  kSilent200,
                  kErrNoResponseSync,
                  1,
                  133,
                  "Error code 0xE2000048: No response to poll while synchronizing to buffer boundary"},
        FaultCase{"DspNoBoundary",
                  LoaderPart::Dsp,
                  {""},
                  kSilent100,
                  kErrNoResponseSync,
                  1,
                  73,
                  "Error code 0xE2000048: No response to poll while synchronizing to buffer boundary"},
        // Fill bytes completed a chunk and the radio took it: sending the chunk again would
        // only add it twice, so the load stops.
        FaultCase{"DspAckWhileSynchronizing",
                  LoaderPart::Dsp,
                  {""},
                  {"", "A"},
                  kErrAckWhileSynchronizing,
                  1,
                  2,
                  "Send DSP firmware failed at load address x0040"}),
    [](const auto& info) { return std::string(info.param.name); });

// Another radio answers by the time the load starts: neither loader sends it a thing.
TEST(LoaderFaults, ARadioThatIsNotTheRM7GetsNoLoad) {
    const struct {
        LoaderPart part;
        const char* file;
        const char* optionModules;  // what now answers
        const char* loadCommand;    // the command that would start the load
    } cases[] = {
        {LoaderPart::Mcu, "fmcu0288.hex", "OM AP-------R;", "LDM;"},     // an R5
        {LoaderPart::Dsp, "fdsp0288.hex", "OM AP---------1;", "LDF2;"},  // an RM6
    };
    test::CTempFolder dir;
    test::WriteHexFile(dir / "fmcu0288.hex", test::McuImageBytes(7, "0288"), kMcuLowAddress);
    test::WriteHexFile(dir / "fdsp0288.hex", test::DspImageBytes(100, 5, nullptr), 0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.loadCommand);
        test::CLoaderRig rig;
        test::CScriptedRadio radio;
        radio.Attach(*rig.scriptedPort);
        ASSERT_EQ(rig.Contact(), kOk);
        rig.scriptedPort->sent.clear();
        radio.optionModules = c.optionModules;
        CLoaderJob job(*rig.session, c.part, dir / c.file);
        ASSERT_TRUE(rig.Run(job));
        EXPECT_EQ(job.GetResult(), kErrUnexpectedDevice);
        EXPECT_THAT(rig.scriptedPort->SentTexts(), ::testing::Not(::testing::Contains(c.loadCommand)));
        EXPECT_TRUE(radio.pieces.empty());
        EXPECT_EQ(rig.model->firmwareStatus.Get(), kFirmwareNone);
    }
}

// Either loader on the simulated radio, a file whose name says another version than the image.
TEST(LoaderFaults, AVersionOtherThanTheFileNameSaysFailsTheLoad) {
    const struct {
        LoaderPart part;
        const char* file;
        std::vector<std::uint8_t> image;
        std::uint32_t at;
        const char* responded;
        const char* kind;
    } cases[] = {
        {LoaderPart::Mcu, "fmcu0290.hex", test::McuImageBytes(11, "0288"), kMcuLowAddress, "02.88", "MCU"},
        {LoaderPart::Dsp, "fdsp0300.hex", test::DspImageBytes(500, 21, "0291"), 0, "02.91", "DSP"},
    };
    test::CTempFolder dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        test::WriteHexFile(dir / c.file, c.image, c.at);
        test::CLoaderRig rig(rm7sim::Options{});
        ASSERT_EQ(rig.Contact(), kOk);
        CLoaderJob job(*rig.session, c.part, dir / c.file);
        EXPECT_TRUE(rig.Run(job, 24 * 3600 * 1000));
        EXPECT_EQ(job.GetResult(), kErrVersionVerify);
        const std::string kind = c.kind;
        EXPECT_THAT(rig.log, ::testing::Contains("Sent " + kind + " firmware file " + (dir / c.file).string() +
                                                 "\r\nRM7 responded with version " + c.responded));
        EXPECT_THAT(rig.log, ::testing::Contains("Firmware version verify failed. Reload " + kind + " firmware."));
        EXPECT_THAT(rig.log, ::testing::Contains("Error code 0xE2000046: Version number verification failed"));
    }
}

}  // namespace
}  // namespace rm7
