#include "firmware/loader_job.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "firmware/mcu_loader_machine.h"
#include "link/contact.h"
#include "link/radio_session.h"
#include "platform/error_text.h"
#include "platform/result_codes.h"
#include "tests/support/firmware_files.h"
#include "tests/support/loader_rig.h"
#include "tests/support/temp_folder.h"

namespace rm7 {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

TEST(LoaderFinish, RetriesAndTheVersionCheck) {
    struct Case {
        const char* name;
        LoaderFinish finish;
        Result result;
        std::vector<std::string> lines;
    };
    const std::filesystem::path mcu = "/fw/fmcu0288.hex";
    const Case cases[] = {
        {"verified", {LoaderPart::Mcu, kOk, 0, 0, 288, mcu}, kOk, {"MCU firmware version verified"}},
        {"verified after retries",
         {LoaderPart::Dsp, kOk, 3, 2, 288, "/fw/fdsp0288.hex"},
         kOk,
         {"Total number of retries was 3", "Highest number of retries for any block was 2",
          "DSP firmware version verified"}},
        {"another version",
         {LoaderPart::Mcu, kOk, 0, 0, 254, mcu},
         kErrVersionVerify,
         {"Sent MCU firmware file /fw/fmcu0288.hex\r\nRM7 responded with version 02.54",
          "Firmware version verify failed. Reload MCU firmware."}},
        // A radio still loading reports no version at all.
        {"still loading",
         {LoaderPart::Mcu, kOk, 0, 0, 0xFFFE, mcu},
         kErrVersionVerify,
         {"Sent MCU firmware file /fw/fmcu0288.hex\r\nRM7 responded with version Loading",
          "Firmware version verify failed. Reload MCU firmware."}},
        // A failed or stopped load is not checked: its code stands, said once by the outcome.
        {"failed",
         {LoaderPart::Mcu, kErrRetryLimit, 12, 8, 288, mcu},
         kErrRetryLimit,
         {"Total number of retries was 12", "Highest number of retries for any block was 8"}},
        {"warning", {LoaderPart::Mcu, kWarnNoResponseToPacket, 0, 0, 288, mcu}, kWarnNoResponseToPacket, {}},
        {"stopped", {LoaderPart::Dsp, kErrorCancelled, 0, 0, 0, "/fw/fdsp0288.hex"}, kErrorCancelled, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const LoaderResult out = FinishLoad(c.finish);
        EXPECT_EQ(out.result, c.result);
        EXPECT_EQ(out.lines, c.lines);
    }
}

// What a load that stopped or failed says of the radio: what the contact after it found, and the
// way out for the part and the cause.
TEST(LoaderRadio, TheContactsFindingAndTheWayOut) {
    const std::string again = "run `rm7util firmware send --mcu f.hex` again";
    struct Case {
        const char* name;
        LoaderFound found;
        RadioState state;
        std::string text;
        std::string next;
    };
    const Case cases[] = {
        {"refused file: never looked for",
         {LoaderPart::Mcu, kErrHexNoEof, std::nullopt},
         RadioState::kUnchanged,
         "",
         ""},
        {"MCU stopped mid-load",
         {LoaderPart::Mcu, kErrorCancelled, kOk, kFirmwareBootLoader, 0, 288},
         RadioState::kBootLoader,
         "The radio waits in its boot loader.",
         "Send the firmware again (Send New Firmware)."},
        {"MCU stopped in the reset wait",
         {LoaderPart::Mcu, kErrorCancelled, kOk, kFirmwareRunning, 288, 288, again},
         RadioState::kRunning,
         "The radio runs MCU 02.88, the file's version.",
         ""},
        {"MCU stopped before the boot loader",
         {LoaderPart::Mcu, kErrorCancelled, kOk, kFirmwareRunning, 254, 288, again},
         RadioState::kRunning,
         "The radio runs MCU 02.54, not the file's 02.88.",
         "Run `rm7util firmware send --mcu f.hex` again."},
        {"MCU unplugged",
         {LoaderPart::Mcu, kErrPortGone, kErrorFileNotFound, kFirmwareNone, 0, 288, again},
         RadioState::kNotAnswering,
         "The radio does not answer: its boot loader may be waiting in the middle of the load.",
         "Plug the cable back in and run `rm7util firmware send --mcu f.hex` again: the radio's boot loader is found "
         "again."},
        {"MCU connection dropped",
         {LoaderPart::Mcu, kErrNetClosed, kErrNetClosed, kFirmwareNone, 0, 288},
         RadioState::kNotAnswering,
         "The radio does not answer: its boot loader may be waiting in the middle of the load.",
         "When the radio's port on the network can be reached again, send the firmware again (Send New Firmware): "
         "the radio's boot loader waits for the next send."},
        {"MCU retries exhausted, nobody found",
         {LoaderPart::Mcu, kErrRetryLimit, kErrNoResponseAfterReset, kFirmwareNone, 0, 288},
         RadioState::kNotAnswering,
         "The radio does not answer: its boot loader may be waiting in the middle of the load.",
         "Send the firmware again (Send New Firmware): the load finds the radio's boot loader."},
        {"DSP stopped between chunks",
         {LoaderPart::Dsp, kErrorCancelled, kOk, kFirmwareBootLoader, 288, 291},
         RadioState::kBootLoader,
         "The radio waits for the rest of its DSP firmware.",
         "Turn the radio off and on, then send the firmware again (Send New Firmware)."},
        {"DSP stopped, firmware answers",
         {LoaderPart::Dsp, kErrorCancelled, kOk, kFirmwareRunning, 288, 291},
         RadioState::kRunning,
         "The radio runs MCU 02.88; its DSP firmware may be incomplete.",
         "Turn the radio off and on, then send the firmware again (Send New Firmware)."},
        {"DSP unplugged",
         {LoaderPart::Dsp, kErrPortGone, kErrPortGone, kFirmwareNone, 0, 291, again},
         RadioState::kNotAnswering,
         "The radio does not answer.",
         "Plug the cable back in, turn the radio off and on, and run `rm7util firmware send --mcu f.hex` again: the "
         "DSP load starts over."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const LoaderRadio radio = DescribeRadio(c.found);
        EXPECT_EQ(radio.state, c.state);
        EXPECT_EQ(radio.text, c.text);
        EXPECT_EQ(radio.next, c.next);
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

// The job on the simulated radio, through the shell: the active machine, the log (trace lines
// only in the log, the machine's lines on the status line too), the countdowns, and one outcome
// that says what was loaded in the versions the contact after the load read.
TEST(LoaderJob, ALoadEndsOnceWithWhatWasLoaded) {
    test::CTempFolder dir;
    test::WriteHexFile(dir / "fdsp0291.hex", test::DspImageBytes(1000, 2, "0291"), 0);
    test::CLoaderRig rig(rm7sim::Options{});
    ASSERT_EQ(rig.Contact(), kOk);
    rig.notifier.shown.clear();
    CLoaderJob job(*rig.session, rig.view, LoaderPart::Dsp, dir / "fdsp0291.hex");
    rig.model->trace.Set(1);
    job.Start();
    EXPECT_EQ(rig.session->ActiveMachine(), &job.Machine());
    EXPECT_TRUE(job.Running());
    rig.pump.AdvanceUntil([&] { return job.MachineIdle(); }, 600000);
    // The machine is done, but until the contact has read the new version the load has not
    // succeeded, and a stop is still asked about.
    EXPECT_FALSE(job.Finished());
    EXPECT_TRUE(job.Running());
    ASSERT_TRUE(rig.pump.AdvanceUntil([&] { return job.Finished(); }, 600000));
    ASSERT_EQ(rig.view.outcomes.size(), 1u);
    const JobOutcome& done = rig.view.Last();
    EXPECT_EQ(done.result, JobResult::kDone);
    EXPECT_EQ(done.job, "firmware send");
    EXPECT_EQ(done.Lines(), (std::vector<std::string>{"DSP 02.91 loaded: " + (dir / "fdsp0291.hex").string(),
                                                      "The radio runs MCU 02.54 and DSP 02.91."}));
    EXPECT_THAT(rig.log, ::testing::Contains("DSP firmware version verified"));
    EXPECT_THAT(rig.log, ::testing::Not(::testing::Contains(HasSubstr("Error code"))));
    // The flash erase and the reset counted down on the view.
    EXPECT_THAT(rig.view.countdown, ::testing::IsSupersetOf({10u, 1u, 8u}));
    EXPECT_EQ(rig.view.busy, (std::vector<bool>{true, false}));
    EXPECT_THAT(rig.log, ::testing::Contains(HasSubstr("LoadDspFirmware send LDF240")));
    const auto& status = rig.notifier.shown;
    EXPECT_THAT(status, ::testing::Not(::testing::Contains(HasSubstr(" send "))));
    EXPECT_THAT(status, ::testing::Contains("Waiting 8 seconds for reset"));
    EXPECT_EQ(rig.session->ActiveMachine(), nullptr);
    EXPECT_TRUE(rig.view.questions.empty());
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
    CLoaderJob job(*rig.session, rig.view, LoaderPart::Mcu, dir / "fmcu0288.hex");
    job.Start();
    ASSERT_EQ(rig.view.outcomes.size(), 1u);
    EXPECT_EQ(rig.view.Last().code, kErrBusyStateMachine);
    EXPECT_EQ(rig.view.Last().radio, RadioState::kUnchanged);
    EXPECT_TRUE(job.MachineIdle());
    EXPECT_EQ(rig.session->ActiveMachine(), nullptr);
    rig.session->ClosePort();
}

// A stop asks about the load first; Yes stops it at the next packet, and the outcome says what a
// contact then found the radio doing (waiting in its boot loader) and what to do next.
TEST(LoaderJob, AStoppedLoadSaysWhatTheContactAfterItFound) {
    test::CTempFolder dir;
    test::WriteHexFile(dir / "fmcu0288.hex", test::McuImageBytes(3, "0288"), kMcuLowAddress);
    test::CLoaderRig rig(rm7sim::Options{.latencyMs = 1});
    ASSERT_EQ(rig.Contact(), kOk);
    CLoaderJob job(*rig.session, rig.view, LoaderPart::Mcu, dir / "fmcu0288.hex");
    job.Start();
    ASSERT_TRUE(rig.pump.AdvanceUntil([&] { return rig.radio->Packets() > 50; }, 600000));
    EXPECT_EQ(job.Cancel(), StopRequest::kAsking);
    ASSERT_EQ(rig.view.questions.size(), 1u);
    EXPECT_EQ(rig.view.questions[0].kind, JobQuestion::Kind::kStop);
    EXPECT_EQ(rig.view.questions[0].text,
              "Stop sending MCU firmware?\n\nThe radio will wait in its boot loader "
              "until the next firmware send (Send New Firmware).");
    // No goes on; the second ask's Yes stops it.
    rig.view.Answer(false);
    rig.pump.AdvanceBy(200);
    EXPECT_FALSE(job.Finished());
    EXPECT_EQ(job.Cancel(), StopRequest::kAsking);
    const std::size_t packets = rig.radio->Packets();
    rig.view.Answer(true);
    ASSERT_TRUE(rig.pump.AdvanceUntil([&] { return job.Finished(); }, 600000));
    EXPECT_LE(rig.radio->Packets(), packets + 1);
    EXPECT_TRUE(rig.radio->InBootLoader());
    ASSERT_EQ(rig.view.outcomes.size(), 1u);
    const JobOutcome& o = rig.view.Last();
    EXPECT_EQ(o.result, JobResult::kCancelled);
    EXPECT_EQ(o.radio, RadioState::kBootLoader);
    EXPECT_EQ(o.Lines(),
              (std::vector<std::string>{"MCU firmware load was cancelled", "The radio waits in its boot loader.",
                                        "Send the firmware again (Send New Firmware)."}));
    EXPECT_EQ(rig.session->ActiveMachine(), nullptr);
}

// The cable pulled mid-load: the failure said once, with the code's words; the contact after it
// finds nothing; the advice is to plug it back in and send again, which then finishes the job.
TEST(LoaderJob, AnUnplugMidLoadFailsWithTheWayOut) {
    test::CTempFolder dir;
    const std::filesystem::path file = dir / "fmcu0288.hex";
    test::WriteHexFile(file, test::McuImageBytes(4, "0288"), kMcuLowAddress);
    rm7sim::Options options;
    options.latencyMs = 1;
    options.faults.unplugAfterPackets = 300;
    test::CLoaderRig rig(options);
    ASSERT_EQ(rig.Contact(), kOk);
    {
        CLoaderJob job(*rig.session, rig.view, LoaderPart::Mcu, file);
        ASSERT_TRUE(rig.Run(job));
    }
    ASSERT_EQ(rig.view.outcomes.size(), 1u);
    const JobOutcome& o = rig.view.Last();
    EXPECT_EQ(o.result, JobResult::kFailed);
    EXPECT_EQ(o.code, kErrPortGone);
    EXPECT_EQ(o.radio, RadioState::kNotAnswering);
    EXPECT_EQ(o.Lines(),
              (std::vector<std::string>{
                  "Failed to send MCU firmware: The radio's serial port went away (cable or adapter unplugged)",
                  "The radio does not answer: its boot loader may be waiting in the middle of the load.",
                  "Plug the cable back in and send the firmware again (Send New Firmware): the radio's boot loader is "
                  "found again."}));
    EXPECT_THAT(rig.log, ::testing::Not(::testing::Contains(HasSubstr("Error code"))));

    rig.radio->PlugIn();
    // Once the cable is back, the radio is found waiting in its boot loader.
    EXPECT_EQ(rig.Contact(), kOk);
    EXPECT_EQ(rig.model->firmwareStatus.Get(), kFirmwareBootLoader);
    CLoaderJob again(*rig.session, rig.view, LoaderPart::Mcu, file);
    ASSERT_TRUE(rig.Run(again));
    EXPECT_EQ(rig.view.Last().result, JobResult::kDone);
    EXPECT_EQ(rig.view.Last().what, "MCU 02.88 loaded");
}

// A radio that falls silent mid-load: the load fails, the search for the radio after it gives up
// at its limit (it never ends by itself), and the outcome says nobody answered.
TEST(LoaderJob, TheSearchAfterAFailureEndsAtItsLimit) {
    test::CTempFolder dir;
    test::WriteHexFile(dir / "fmcu0288.hex", test::McuImageBytes(5, "0288"), kMcuLowAddress);
    test::CLoaderRig rig(rm7sim::Options{.latencyMs = 1});
    ASSERT_EQ(rig.Contact(), kOk);
    LoaderJobOptions options;
    options.findRadioMs = 20000;
    CLoaderJob job(*rig.session, rig.view, LoaderPart::Mcu, dir / "fmcu0288.hex", options);
    job.Start();
    ASSERT_TRUE(rig.pump.AdvanceUntil([&] { return rig.radio->Packets() > 20; }, 600000));
    rig.radio->SetSilent(true);
    ASSERT_TRUE(rig.pump.AdvanceUntil([&] { return job.MachineIdle(); }, 3'600'000));
    const std::uint32_t ended = rig.pump.TickCount();
    ASSERT_TRUE(rig.pump.AdvanceUntil([&] { return job.Finished(); }, 3'600'000));
    // The limit, and at most one step of the search (5 s) for the cancelled contact to stop.
    EXPECT_GE(rig.pump.TickCount() - ended, 20000u);
    EXPECT_LE(rig.pump.TickCount() - ended, 20000u + 100 + 5000);
    const JobOutcome& o = rig.view.Last();
    EXPECT_EQ(o.result, JobResult::kFailed);
    EXPECT_EQ(o.radio, RadioState::kNotAnswering);
    EXPECT_EQ(o.next, "Send the firmware again (Send New Firmware): the load finds the radio's boot loader.");
    EXPECT_TRUE(rig.session->Contact().IsIdle());
    EXPECT_EQ(rig.session->ActiveMachine(), nullptr);
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
        CLoaderJob refused(*rig.session, rig.view, c.part, dir / c.file);
        ASSERT_TRUE(rig.Run(refused));
        EXPECT_EQ(refused.GetResult(), c.result);
        EXPECT_EQ(rig.view.Last().radio, RadioState::kUnchanged);
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
    CLoaderJob job(*rig.session, rig.view, c.part, file);
    job.Start();
    ASSERT_TRUE(rig.pump.AdvanceUntil([&] { return job.MachineIdle(); }, 3'600'000));
    // The polls of the load, not those of the contact that looks for the radio after a failure.
    const std::size_t polls = radio.polls;
    ASSERT_TRUE(rig.pump.AdvanceUntil([&] { return job.Finished(); }, 3'600'000)) << "the load never finished";
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
    EXPECT_EQ(polls, c.polls);
    if (c.logLine.rfind("Error code ", 0) == 0) {
        // The failure is the outcome's, said once.
        ASSERT_FALSE(rig.view.outcomes.empty());
        EXPECT_EQ(ErrorCodeText(rig.view.Last().code), c.logLine);
    } else {
        EXPECT_THAT(rig.log, ::testing::Contains(c.logLine));
    }
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
        CLoaderJob job(*rig.session, rig.view, c.part, dir / c.file);
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
        CLoaderJob job(*rig.session, rig.view, c.part, dir / c.file);
        EXPECT_TRUE(rig.Run(job, 24 * 3600 * 1000));
        EXPECT_EQ(job.GetResult(), kErrVersionVerify);
        const std::string kind = c.kind;
        EXPECT_THAT(rig.log, ::testing::Contains("Sent " + kind + " firmware file " + (dir / c.file).string() +
                                                 "\r\nRM7 responded with version " + c.responded));
        EXPECT_THAT(rig.log, ::testing::Contains("Firmware version verify failed. Reload " + kind + " firmware."));
        EXPECT_EQ(rig.view.Last().code, kErrVersionVerify);
        EXPECT_EQ(rig.view.Last().why, "Version number verification failed");
    }
}

}  // namespace
}  // namespace rm7
