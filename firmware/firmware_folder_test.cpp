// The firmware folder scan and the Firmware page's rules: which files win, which buttons are
// enabled, what a send sends.
#include "firmware/firmware_folder.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>

namespace rm7 {
namespace {

// A file in the folder, as a release would put it there.
std::filesystem::path Touch(const test::CTempFolder& folder, const std::string& name,
                            const std::string& content = ":00000001FF\n") {
    std::ofstream(folder / name) << content;
    return folder / name;
}

TEST(ScanFolder, NewestOfEachKindByTheVersionInItsName) {
    test::CTempFolder f;
    for (const char* name : {"fmcu0254.hex", "fmcu0260.hex", "FDSP0121.HEX", "fdsp0119.hex",
                             // never chosen: no digits, another extension, another prefix
                             "fmcu.hex", "fmcu0300.txt", "fmcu0310.hex.bak", "xfmcu0900.hex", "fdsp0500"}) {
        Touch(f, name);
    }
    // A folder with a firmware name is not a file.
    std::filesystem::create_directory(f.Path() / "fmcu0990.hex");

    const FolderContents c = ScanFolder(f.Path());
    EXPECT_EQ(c.Mcu().path, f.Path() / "fmcu0260.hex");
    EXPECT_EQ(c.Mcu().version, 260);
    EXPECT_EQ(AvailableText(c.Mcu()), "02.60");
    EXPECT_EQ(c.Dsp().path, f.Path() / "FDSP0121.HEX");
    EXPECT_EQ(AvailableText(c.Dsp()), "01.21");
    EXPECT_FALSE(c.releaseNotes);
}

TEST(ScanFolder, ReleaseNotesInAnyCaseAndEqualVersionsTakeTheFirstName) {
    test::CTempFolder f;
    Touch(f, "FFWNotes.RTF", "{\\rtf1 }");
    Touch(f, "fmcu260.hex");
    Touch(f, "fmcu0260.hex");
    const FolderContents c = ScanFolder(f.Path());
    EXPECT_TRUE(c.releaseNotes);
    EXPECT_EQ(c.releaseNotesPath, f.Path() / "FFWNotes.RTF");
    EXPECT_EQ(c.Mcu().path, f.Path() / "fmcu0260.hex");
    EXPECT_FALSE(c.Dsp().Found());
    EXPECT_EQ(AvailableText(c.Dsp()), "Missing");
}

TEST(ScanFolder, NothingFromAnEmptyMissingOrUnreadableFolder) {
    test::CTempFolder f;
    const auto file = Touch(f, "fmcu0260.hex");
    for (const std::filesystem::path& folder :
         {f.Path() / "empty", f.Path() / "missing", file, std::filesystem::path()}) {
        if (folder.filename() == "empty") {
            std::filesystem::create_directory(folder);
        }
        const FolderContents c = ScanFolder(folder);
        EXPECT_FALSE(c.Mcu().Found()) << folder;
        EXPECT_FALSE(c.Dsp().Found()) << folder;
        EXPECT_EQ(c.Mcu().version, 0) << folder;
        EXPECT_FALSE(c.releaseNotes) << folder;
    }
}

constexpr std::uint16_t kNone = 0;  // no file of the kind in the folder

FirmwarePageState State(bool advanced, FirmwareStatusEnum status, std::uint16_t installedMcu,
                        std::uint16_t installedDsp, std::uint16_t fileMcu, std::uint16_t fileDsp,
                        unsigned long checks = 0) {
    FirmwarePageState s;
    s.advancedMode = advanced;
    s.status = status;
    s.installed = {installedMcu, installedDsp};
    if (fileMcu != kNone) {
        s.folder.files[kKindMcu] = {"/fw/fmcu.hex", fileMcu};
    }
    if (fileDsp != kNone) {
        s.folder.files[kKindDsp] = {"/fw/fdsp.hex", fileDsp};
    }
    s.loadCheckbox = checks;
    s.folder.releaseNotes = true;
    return s;
}

constexpr auto kOff = false;
constexpr auto kOn = true;
constexpr auto kRun = kFirmwareRunning;
constexpr auto kBoot = kFirmwareBootLoader;
constexpr unsigned long kMcuBox = kLoadMcuBit;
constexpr unsigned long kDspBox = kLoadDspBit;

struct PlanCase {
    const char* name;
    FirmwarePageState state;
    SendButton button;
    bool refused;
    bool mcu;
    bool dsp;
    bool dspOnlyIfNewer = false;  // judged again once the MCU load is done
};

TEST(PlanSend, WhatEachButtonSendsAndWhen) {
    const auto all = SendButton::AllOrChecked;
    const auto newer = SendButton::Newer;
    const PlanCase cases[] = {
        {"all sends both even when the radio has them", State(kOff, kRun, 260, 121, 260, 121), all, false, true, true},
        {"all without a DSP file sends only the MCU", State(kOff, kRun, 260, 121, 260, kNone), all, false, true, false},
        {"checked DSP only", State(kOn, kRun, 254, 121, 260, 130, kDspBox), all, false, false, true},
        {"checked MCU only", State(kOn, kRun, 254, 121, 260, 130, kMcuBox), all, false, true, false},
        {"checked DSP box without a DSP file", State(kOn, kRun, 254, 121, 260, kNone, kDspBox | kMcuBox), all, false,
         true, false},
        {"newer DSP, same MCU", State(kOff, kRun, 260, 121, 260, 130), newer, false, false, true},
        {"newer MCU, older DSP file", State(kOff, kRun, 254, 130, 260, 121), newer, false, true, true, true},
        {"older MCU file is not newer", State(kOff, kRun, 270, 130, 260, 130), newer, false, false, false},
        {"installed not read yet", State(kOff, kRun, 0, 0, 260, 121), newer, false, true, true, true},
        {"installed not available", State(kOff, kRun, 999, 999, 260, 121), newer, false, true, true, true},
        {"boot loader after a broken load", State(kOff, kBoot, 0xFFFE, 121, 260, 121), newer, false, true, true, true},
        {"newer MCU without a DSP file", State(kOff, kRun, 254, 121, 260, kNone), newer, false, true, false},
        {"boot loader, both checked", State(kOn, kBoot, 0, 121, 260, 121, kMcuBox | kDspBox), all, false, true, true},
        {"boot loader takes no DSP alone", State(kOn, kBoot, 0, 121, 260, 130, kDspBox), all, true, false, false},
        {"no MCU file refuses", State(kOff, kRun, 254, 121, kNone, 130), all, true, false, false},
        {"no MCU file refuses newer", State(kOff, kRun, 254, 121, kNone, 130), newer, true, false, false},
    };
    for (const PlanCase& c : cases) {
        const SendPlan plan = PlanSend(c.state, c.button);
        EXPECT_EQ(plan.refused, c.refused) << c.name;
        EXPECT_EQ(plan.mcu, c.mcu) << c.name;
        EXPECT_EQ(plan.dsp, c.dsp) << c.name;
        EXPECT_EQ(plan.dspOnlyIfNewer, c.dspOnlyIfNewer) << c.name;
        EXPECT_EQ(plan.mcuFile.empty(), !c.mcu) << c.name;
        EXPECT_EQ(plan.dspFile.empty(), !c.dsp) << c.name;
    }
}

// After an MCU load the radio is contacted again: "Send New" judges the DSP by the version it
// tells then, so a radio loaded from its boot loader keeps a DSP that is already current.
TEST(PlanSend, SendNewJudgesTheDspAfterTheMcuLoad) {
    const SendPlan fromBootLoader = PlanSend(State(kOff, kBoot, 0, 0, 260, 121), SendButton::Newer);
    const SendPlan all = PlanSend(State(kOff, kBoot, 0, 0, 260, 121), SendButton::AllOrChecked);
    const SendPlan dspOnly = PlanSend(State(kOff, kRun, 260, 120, 260, 121), SendButton::Newer);
    const SendPlan mcuOnly = PlanSend(State(kOff, kRun, 254, 121, 260, kNone), SendButton::Newer);
    struct Case {
        const char* name;
        const SendPlan& plan;
        std::uint16_t installedDsp;
        bool sent;
    };
    const Case cases[] = {
        {"current DSP", fromBootLoader, 121, false},
        {"DSP newer than the file", fromBootLoader, 130, false},
        {"older DSP", fromBootLoader, 120, true},
        {"DSP version still not told", fromBootLoader, 0, true},
        {"DSP version not available", fromBootLoader, 999, true},
        {"send all sends a current DSP", all, 121, true},
        {"no MCU load: decided at planning", dspOnly, 120, true},
        {"no DSP file", mcuOnly, 0, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DspStillWanted(c.plan, c.installedDsp), c.sent) << c.name;
    }
    EXPECT_EQ(fromBootLoader.dspFile, "/fw/fdsp.hex");
    EXPECT_EQ(fromBootLoader.dspVersion, 121u);
}

TEST(PlanSend, RefusalsSayWhy) {
    FirmwarePageState other = State(kOff, kRun, 254, 121, 260, 130);
    other.expectedDevice = false;
    other.device = kDeviceR5;
    SendPlan plan = PlanSend(other, SendButton::AllOrChecked);
    EXPECT_TRUE(plan.refused);
    EXPECT_EQ(plan.logLine, "Unexpected device 1\n");
    EXPECT_TRUE(plan.Empty());

    plan = PlanSend(State(kOff, kRun, 254, 121, kNone, 130), SendButton::Newer);
    EXPECT_EQ(plan.boxText,
              "Firmware folder does not contain required firmware files\r\nClick \"Copy New Files from Tarnwell\"\r\n"
              "or navigate to a folder containing firmware files");

    plan = PlanSend(State(kOn, kBoot, 0, 121, 260, 130, kDspBox), SendButton::AllOrChecked);
    EXPECT_EQ(plan.boxText, kBootLoaderNeedsMcuText);
}

struct ButtonCase {
    const char* name;
    FirmwarePageState state;
    bool expected;
    bool first;
    bool newer;
    bool mcuBox;
    bool dspBox;
    const char* firstWhy;  // the off button's tooltip; "" while on
    const char* newerWhy;
};

constexpr const char* kNoAnswer = "No RM7 answers on the chosen port";
constexpr const char* kNotRm7 = "The radio on this port is not an RM7";
constexpr const char* kNoMcuFile =
    "The firmware folder holds no MCU firmware file: copy new files from Tarnwell or choose another folder";
constexpr const char* kNothingNewer = "The folder holds nothing newer than the RM7 runs";
constexpr const char* kCheckOne = "Check MCU or DSP under Load to choose what to send";

TEST(DecideButtons, SendButtonsAndLoadBoxes) {
    const ButtonCase cases[] = {
        {"no radio", State(kOff, kFirmwareNone, 0, 0, 260, 130), true, false, false, false, false, kNoAnswer,
         kNoAnswer},
        {"no MCU file", State(kOff, kRun, 254, 121, kNone, 130), true, false, false, false, false, kNoMcuFile,
         kNoMcuFile},
        {"another device", State(kOff, kRun, 254, 121, 260, 130), false, false, false, false, false, kNotRm7, kNotRm7},
        {"all up to date", State(kOff, kRun, 260, 130, 260, 130), true, true, false, false, false, "", kNothingNewer},
        {"DSP newer", State(kOff, kRun, 260, 121, 260, 130), true, true, true, false, false, "", ""},
        {"boot loader", State(kOff, kBoot, 0xFFFE, 130, 260, 130), true, true, true, false, false, "", ""},
        {"advanced, nothing checked", State(kOn, kRun, 254, 121, 260, 130), true, false, true, true, true, kCheckOne,
         ""},
        {"advanced, DSP checked", State(kOn, kRun, 260, 130, 260, 130, kDspBox), true, true, false, true, true, "",
         kNothingNewer},
        {"advanced, checked box of a missing file", State(kOn, kRun, 254, 121, 260, kNone, kDspBox), true, false, true,
         true, false, kCheckOne, ""},
    };
    for (ButtonCase c : cases) {
        c.state.expectedDevice = c.expected;
        const FirmwareButtons b = DecideButtons(c.state);
        EXPECT_EQ(b.sendFirstEnabled, c.first) << c.name;
        EXPECT_EQ(b.sendNewerEnabled, c.newer) << c.name;
        EXPECT_EQ(b.sendFirstBlocker, c.firstWhy) << c.name;
        EXPECT_EQ(b.sendNewerBlocker, c.newerWhy) << c.name;
        EXPECT_EQ(b.loadBoxEnabled[kKindMcu], c.mcuBox) << c.name;
        EXPECT_EQ(b.loadBoxEnabled[kKindDsp], c.dspBox) << c.name;
        EXPECT_EQ(b.loadControlsShown, c.state.advancedMode) << c.name;
    }
}

TEST(DecideButtons, TextsFollowAdvancedMode) {
    FirmwareButtons b = DecideButtons(State(kOff, kRun, 254, 121, 260, 130, kMcuBox));
    EXPECT_EQ(b.sendFirstText, "Send All Firmware to RM7");
    EXPECT_EQ(b.sendNewerText, "Send New Firmware to RM7");
    EXPECT_TRUE(b.loadBoxChecked[kKindMcu]);
    EXPECT_FALSE(b.loadBoxChecked[kKindDsp]);
    b = DecideButtons(State(kOn, kRun, 254, 121, 260, 130));
    EXPECT_EQ(b.sendFirstText, "Send Checked Items to RM7");
}

TEST(FirmwarePageTexts, LoadedTextNamesThePartsSentWithTheirVersions) {
    EXPECT_EQ(LoadedText("03.00", "03.00"), "MCU 03.00 and DSP 03.00 loaded");
    EXPECT_EQ(LoadedText("03.00", ""), "MCU 03.00 loaded");
    EXPECT_EQ(LoadedText("", "02.91"), "DSP 02.91 loaded");
    EXPECT_EQ(LoadedText("", ""), "No firmware was loaded");
}

TEST(FirmwarePageTexts, ElapsedTimeIsRoundedToTheNearestSecond) {
    EXPECT_EQ(ElapsedText(0), "Elapsed time: 0 seconds");
    EXPECT_EQ(ElapsedText(1499), "Elapsed time: 1 seconds");
    EXPECT_EQ(ElapsedText(1500), "Elapsed time: 2 seconds");
    EXPECT_EQ(ElapsedText(0xFFFFFFFFu), "Elapsed time: 4294967 seconds");
    EXPECT_EQ(SendingText("/home/ann/fw"), "Sending firmware from /home/ann/fw");
    EXPECT_EQ(TrimFolderText(" \t/home/ann/RM7 fw \r\n"), "/home/ann/RM7 fw");
    EXPECT_EQ(TrimFolderText("   "), "");
}

TEST(ReleaseNotesOffer, OnlyForNewerFirmwareOnAKnownRadioOutsideRegistrationAndSends) {
    struct Case {
        const char* name;
        FirmwarePageState state;
        bool started, registering, sending, offer;
    };
    const auto withoutNotes = [](FirmwarePageState s) {
        s.folder.releaseNotes = false;
        return s;
    };
    const Case cases[] = {
        {"newer MCU, no notes in the folder", withoutNotes(State(kOff, kRun, 254, 130, 260, 130)), true, false, false,
         false},
        {"newer MCU", State(kOff, kRun, 254, 130, 260, 130), true, false, false, true},
        {"newer DSP", State(kOff, kRun, 260, 121, 260, 130), true, false, false, true},
        {"nothing newer", State(kOff, kRun, 260, 130, 260, 130), true, false, false, false},
        {"before the window started", State(kOff, kRun, 254, 130, 260, 130), false, false, false, false},
        {"while registering", State(kOff, kRun, 254, 130, 260, 130), true, true, false, false},
        {"while sending", State(kOff, kRun, 254, 130, 260, 130), true, false, true, false},
        {"MCU version not read", State(kOff, kRun, 0, 130, 260, 130), true, false, false, false},
        {"MCU version loading", State(kOff, kBoot, 0xFFFE, 130, 260, 130), true, false, false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ShouldOfferReleaseNotes(c.state, c.started, c.registering, c.sending), c.offer) << c.name;
    }
}

}  // namespace
}  // namespace rm7
