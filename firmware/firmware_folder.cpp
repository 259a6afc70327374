#include "firmware/firmware_folder.h"

#include <algorithm>
#include <system_error>
#include <vector>

#include "firmware/file_version.h"
#include "model/firmware_version.h"
#include "platform/format.h"
#include "platform/text.h"
#include "platform/version.h"

namespace rm7 {

namespace {

// The release notes' name, whatever its case.
bool IsReleaseNotesName(const std::string& name) {
    return EqualsNoCase(name, kReleaseNotesName);
}

bool Checked(unsigned long bits, std::size_t kind) {
    return (bits & (kind == kKindMcu ? kLoadMcuBit : kLoadDspBit)) != 0;
}

}  // namespace

FolderContents ScanFolder(const std::filesystem::path& folder) {
    FolderContents contents;
    if (folder.empty()) {
        return contents;
    }
    std::error_code ec;
    std::vector<std::filesystem::path> files;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        // A folder named like firmware is not firmware; a link to a file is.
        if (it->is_regular_file(typeError)) {
            files.push_back(it->path());
        }
    }
    std::sort(files.begin(), files.end(),
              [](const auto& a, const auto& b) { return a.filename().string() < b.filename().string(); });
    for (const std::filesystem::path& path : files) {
        const std::string name = path.filename().string();
        if (IsReleaseNotesName(name)) {
            contents.releaseNotes = true;
            contents.releaseNotesPath = path;
            continue;
        }
        const FirmwareKind kind = FirmwareKindFromName(path);
        if (kind == FirmwareKind::Unknown) {
            continue;
        }
        const std::uint16_t version = FileVersion(path);
        FirmwareFileEntry& held = contents.files[kind == FirmwareKind::Mcu ? kKindMcu : kKindDsp];
        if (version > held.version) {
            held.path = path;
            held.version = version;
        }
    }
    return contents;
}

std::string AvailableText(const FirmwareFileEntry& file) {
    return file.Found() ? StrFormat("%02u.%02u", file.version / 100u, file.version % 100u) : "Missing";
}

bool IsNewerThanInstalled(const FirmwareFileEntry& file, std::uint16_t installed) {
    if (!file.Found()) {
        return false;
    }
    return !IsKnownVersion(installed) || file.version > installed;
}

FirmwarePageState PageStateFromModel(const CModel& model, const FolderContents& folder, unsigned long loadCheckbox) {
    FirmwarePageState state;
    state.advancedMode = model.advancedMode.Get() != 0;
    state.status = model.firmwareStatus.Get();
    state.expectedDevice = model.IsExpectedDevice();
    state.device = model.deviceKind.Get();
    state.installed = {model.firmwareVersions.Get(kKindMcu), model.firmwareVersions.Get(kKindDsp)};
    state.folder = folder;
    state.loadCheckbox = loadCheckbox;
    return state;
}

FirmwareButtons DecideButtons(const FirmwarePageState& state) {
    FirmwareButtons b;
    b.loadControlsShown = state.advancedMode;
    b.loadHeaderEnabled = state.advancedMode;
    for (std::size_t kind = 0; kind < kFirmwareKindCount; ++kind) {
        b.loadBoxEnabled[kind] = state.advancedMode && state.folder.files[kind].Found();
        b.loadBoxChecked[kind] = Checked(state.loadCheckbox, kind);
    }
    const bool canSend = state.status != kFirmwareNone && state.folder.Mcu().Found() && state.expectedDevice;
    b.sendNewerEnabled = canSend && (IsNewerThanInstalled(state.folder.Mcu(), state.installed[kKindMcu]) ||
                                     IsNewerThanInstalled(state.folder.Dsp(), state.installed[kKindDsp]));
    if (canSend) {
        b.sendFirstEnabled = !state.advancedMode || (b.loadBoxEnabled[kKindMcu] && b.loadBoxChecked[kKindMcu]) ||
                             (b.loadBoxEnabled[kKindDsp] && b.loadBoxChecked[kKindDsp]);
    }
    std::string blocker;
    if (state.status == kFirmwareNone) {
        blocker = StrFormat("No %s answers on the chosen port", kModelName);
    } else if (!state.expectedDevice) {
        blocker = StrFormat("The radio on this port is not an %s", kModelName);
    } else if (!state.folder.Mcu().Found()) {
        blocker =
            "The firmware folder holds no MCU firmware file: copy new files from Tarnwell or choose another "
            "folder";
    }
    b.sendFirstBlocker = blocker;
    b.sendNewerBlocker = blocker;
    if (blocker.empty() && !b.sendFirstEnabled) {
        b.sendFirstBlocker = "Check MCU or DSP under Load to choose what to send";
    }
    if (blocker.empty() && !b.sendNewerEnabled) {
        b.sendNewerBlocker = StrFormat("The folder holds nothing newer than the %s runs", kModelName);
    }
    b.sendFirstText =
        StrFormat(state.advancedMode ? "Send Checked Items to %s" : "Send All Firmware to %s", kModelName);
    b.sendNewerText = StrFormat("Send New Firmware to %s", kModelName);
    return b;
}

SendPlan PlanSend(const FirmwarePageState& state, SendButton button) {
    SendPlan plan;
    if (!state.expectedDevice) {
        plan.refused = true;
        plan.logLine = StrFormat("Unexpected device %u\n", static_cast<unsigned>(state.device));
        return plan;
    }
    const FirmwareFileEntry& mcu = state.folder.Mcu();
    const FirmwareFileEntry& dsp = state.folder.Dsp();
    if (!mcu.Found()) {
        plan.refused = true;
        plan.boxText = kFolderMissingFilesText;
        return plan;
    }
    switch (button) {
        case SendButton::Newer:
            plan.mcu = IsNewerThanInstalled(mcu, state.installed[kKindMcu]);
            if (plan.mcu) {
                // The radio is contacted again after the MCU load and tells its DSP version
                // then; from its boot loader it tells none now, so a current DSP would be resent.
                plan.dsp = dsp.Found();
                plan.dspOnlyIfNewer = plan.dsp;
            } else {
                plan.dsp = IsNewerThanInstalled(dsp, state.installed[kKindDsp]);
            }
            break;
        case SendButton::AllOrChecked:
            if (state.advancedMode) {
                plan.mcu = Checked(state.loadCheckbox, kKindMcu);
                plan.dsp = dsp.Found() && Checked(state.loadCheckbox, kKindDsp);
            } else {
                // Without a DSP file there is nothing to send to the DSP: opening its loader
                // only to fail on an empty file name would report a fault that is none.
                plan.mcu = true;
                plan.dsp = dsp.Found();
            }
            break;
    }
    // The boot loader takes only MCU firmware; the DSP is loaded through the radio's own.
    if (state.status == kFirmwareBootLoader && plan.dsp && !plan.mcu) {
        plan.refused = true;
        plan.dsp = false;
        plan.boxText = kBootLoaderNeedsMcuText;
        return plan;
    }
    plan.mcuFile = plan.mcu ? mcu.path : std::filesystem::path();
    plan.dspFile = plan.dsp ? dsp.path : std::filesystem::path();
    plan.dspVersion = plan.dsp ? dsp.version : 0;
    return plan;
}

bool DspStillWanted(const SendPlan& plan, std::uint16_t installedDsp) {
    if (!plan.dsp) {
        return false;
    }
    return !plan.dspOnlyIfNewer || IsNewerThanInstalled({plan.dspFile, plan.dspVersion}, installedDsp);
}

std::string SendingText(const std::filesystem::path& folder) {
    return StrFormat("Sending firmware from %s", folder.string().c_str());
}

std::string LoadedText(const std::string& mcuVersion, const std::string& dspVersion) {
    if (mcuVersion.empty() && dspVersion.empty()) {
        return "No firmware was loaded";
    }
    if (dspVersion.empty()) {
        return StrFormat("MCU %s loaded", mcuVersion.c_str());
    }
    if (mcuVersion.empty()) {
        return StrFormat("DSP %s loaded", dspVersion.c_str());
    }
    return StrFormat("MCU %s and DSP %s loaded", mcuVersion.c_str(), dspVersion.c_str());
}

std::string ElapsedText(std::uint32_t elapsedMs) {
    const auto seconds = static_cast<unsigned>((std::uint64_t{elapsedMs} + 500) / 1000);
    return StrFormat("Elapsed time: %u seconds", seconds);
}

bool ShouldOfferReleaseNotes(const FirmwarePageState& state, bool frameStarted, bool registering, bool sending) {
    // Without notes in the folder the offer would only bring up "Unable to open Firmware Release Notes".
    if (!frameStarted || registering || sending || !state.folder.releaseNotes ||
        !IsKnownVersion(state.installed[kKindMcu]) || !state.expectedDevice) {
        return false;
    }
    return IsNewerThanInstalled(state.folder.Mcu(), state.installed[kKindMcu]) ||
           IsNewerThanInstalled(state.folder.Dsp(), state.installed[kKindDsp]);
}

std::string InstalledHeaderText() {
    return StrFormat("Installed in %s", kModelName);
}

std::string BrowseTitle() {
    return StrFormat("Select folder containing %s firmware files", kModelName);
}

std::string DefaultFolderTip(const std::filesystem::path& folder) {
    return StrFormat("Choose \"%s\" folder", folder.string().c_str());
}

std::string CheckVersionsTip() {
    return StrFormat("Compare versions installed in %s with available versions in firmware folder", kModelName);
}

std::string TrimFolderText(const std::string& text) {
    const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; };
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && space(text[begin])) {
        ++begin;
    }
    while (end > begin && space(text[end - 1])) {
        --end;
    }
    return text.substr(begin, end - begin);
}

}  // namespace rm7
