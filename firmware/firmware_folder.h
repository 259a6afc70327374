#pragma once
// The firmware folder and every decision of the Firmware page, without a window: which files
// of the folder are newest, what the page shows, which of its buttons and boxes are enabled,
// what a send sends and in which order. The Qt page and `rm7util firmware list/update` only
// show and run what this says.
#include <array>
#include <cstdint>
#include <filesystem>
#include <string>

#include "model/messages.h"
#include "model/model.h"

namespace rm7 {

inline constexpr std::size_t kFirmwareKindCount = 2;
// Indexes of the folder's kinds and of the model's firmware versions alike.
inline constexpr std::size_t kKindMcu = 0;
inline constexpr std::size_t kKindDsp = 1;

inline constexpr const char* kReleaseNotesName = "ffwnotes.rtf";

// The page's own persisted value (kMsgLoadCheckbox): bit 0 the MCU "Load" box, bit 1 the DSP box.
inline constexpr const char* kLoadCheckboxName = "LoadCheckbox";
inline constexpr unsigned long kLoadMcuBit = 1;
inline constexpr unsigned long kLoadDspBit = 2;

inline constexpr const char* kFolderMissingFilesText =
    "Firmware folder does not contain required firmware files\r\nClick \"Copy New Files from Tarnwell\"\r\nor "
    "navigate to a folder containing firmware files";

inline constexpr const char* kBootLoaderNeedsMcuText =
    "The RM7 is waiting in its boot loader: send its MCU firmware first.\r\nThe DSP firmware is loaded through "
    "the MCU firmware.";

struct FirmwareFileEntry {
    std::filesystem::path path;  // empty when none
    std::uint16_t version = 0;   // 0 when none
    bool Found() const { return !path.empty(); }
};

struct FolderContents {
    std::array<FirmwareFileEntry, kFirmwareKindCount> files;
    bool releaseNotes = false;
    std::filesystem::path releaseNotesPath;

    const FirmwareFileEntry& Mcu() const { return files[kKindMcu]; }
    const FirmwareFileEntry& Dsp() const { return files[kKindDsp]; }
};

// The newest "fmcu*.hex" and "fdsp*.hex" by the version in the name (case ignored; a name
// without digits is never chosen) and whether "ffwnotes.rtf" is there. Files only; entries are
// taken in name order, so among equal versions the first name wins on every file system. A
// folder that cannot be read yields nothing.
FolderContents ScanFolder(const std::filesystem::path& folder);

// "02.60" for a file that was found, "Missing" otherwise.
std::string AvailableText(const FirmwareFileEntry& file);

// Whether a found file should replace what the radio runs. A version the radio did not tell
// (not read, not available, a load under way) is no reason to keep it: the file counts as newer.
bool IsNewerThanInstalled(const FirmwareFileEntry& file, std::uint16_t installed);

// What the page decides from: the radio as the model knows it, the folder, the user's choices.
struct FirmwarePageState {
    bool advancedMode = false;
    FirmwareStatusEnum status = kFirmwareNone;
    bool expectedDevice = true;
    TarnwellDevice device = kDeviceNone;
    std::array<std::uint16_t, kFirmwareKindCount> installed{};
    FolderContents folder;
    unsigned long loadCheckbox = 0;
};

FirmwarePageState PageStateFromModel(const CModel& model, const FolderContents& folder, unsigned long loadCheckbox);

struct FirmwareButtons {
    bool loadControlsShown = false;  // the "Load" header and both boxes: advanced mode only
    bool loadHeaderEnabled = false;
    std::array<bool, kFirmwareKindCount> loadBoxEnabled{};
    std::array<bool, kFirmwareKindCount> loadBoxChecked{};
    bool sendFirstEnabled = false;  // "Send All Firmware" / "Send Checked Items"
    bool sendNewerEnabled = false;  // "Send New Firmware"
    // Why a send button is off, for its tooltip; empty while it is on. The radio's own absence is
    // said by the page's radio rule first (RadioActionBlocker).
    std::string sendFirstBlocker;
    std::string sendNewerBlocker;
    std::string sendFirstText;
    std::string sendNewerText;
};

FirmwareButtons DecideButtons(const FirmwarePageState& state);

enum class SendButton {
    AllOrChecked,  // everything (advanced mode off) or the checked boxes (on)
    Newer,         // only what is newer than the radio runs
};

// One send sequence: MCU first; the DSP only after a good MCU load when both are sent.
struct SendPlan {
    bool refused = false;
    std::string logLine;  // for the activity log when refused ("Unexpected device 5\n")
    std::string boxText;  // an "Error" box when refused
    bool mcu = false;
    bool dsp = false;
    // "Send New" with an MCU load: the DSP goes only if it is still newer than the version the
    // radio tells after that load (DspStillWanted).
    bool dspOnlyIfNewer = false;
    std::filesystem::path mcuFile;
    std::filesystem::path dspFile;
    std::uint16_t dspVersion = 0;
    bool Empty() const { return !mcu && !dsp; }
};

SendPlan PlanSend(const FirmwarePageState& state, SendButton button);

// Whether the plan's DSP is sent now, with `installedDsp` the version the radio tells after the
// plan's MCU load (or the one known at planning when there was none).
bool DspStillWanted(const SendPlan& plan, std::uint16_t installedDsp);

// "Sending firmware from %s"
std::string SendingText(const std::filesystem::path& folder);
// What a firmware send that was done loaded: "MCU 03.00 and DSP 03.00 loaded"; an empty version
// is a part that was not sent.
std::string LoadedText(const std::string& mcuVersion, const std::string& dspVersion);
inline constexpr const char* kFirmwareSendCancelledText = "Sending firmware was cancelled";
inline constexpr const char* kFirmwareSendFailedText = "Sending firmware failed";
// "Elapsed time: %u seconds", to the nearest whole second.
std::string ElapsedText(std::uint32_t elapsedMs);

// Whether to offer the release notes: the window has started, the page is neither registering
// nor sending, the radio's MCU version is known, the device is the expected one, and the folder
// holds something newer than the radio runs.
bool ShouldOfferReleaseNotes(const FirmwarePageState& state, bool frameStarted, bool registering, bool sending);

// Texts of the page that name the model.
std::string InstalledHeaderText();  // "Installed in RM7"
std::string BrowseTitle();          // "Select folder containing RM7 firmware files"
// For "Default", naming the folder it chooses.
std::string DefaultFolderTip(const std::filesystem::path& folder);
std::string CheckVersionsTip();  // for "Check Versions Now"
// The folder as typed: white space trimmed at both ends.
std::string TrimFolderText(const std::string& text);

}  // namespace rm7
