#include "model/model.h"

#include "model/firmware_version.h"
#include "platform/format.h"
#include "platform/os_version.h"
#include "platform/paths.h"
#include "platform/program_version.h"
#include "platform/settings.h"
#include "platform/version.h"

namespace rm7 {

const char* DeviceName(TarnwellDevice kind) {
    switch (kind) {
        case kDeviceR5:
            return "R5";
        case kDeviceRM7:
            return kModelName;
        case kDeviceQLA350:
            return "QLA350";
        case kDeviceQTU350:
            return "QTU350";
        case kDeviceSV1:
            return "SV1";
        case kDeviceQLA0700:
            return "QLA0700";
        case kDeviceSV2:
            return "SV2";
        case kDeviceRM6:
            return "RM6";
        case kDeviceQLA1050:
            return "QLA1050";
        case kDeviceNone:
            break;
    }
    return "unknown";
}

CModel::CModel(IMessagePump& pump, CSettingsStore* settings, IUserNotifier* notifier)
    : activePage(pump, 0, "ActivePage", 0),
      advancedMode(pump, kMsgAdvancedMode, "AdvancedMode", 0),
      deviceKind(pump, 0, kDeviceNone),
      firmwareFolder(pump, kMsgFirmwareFolder, "FirmwareFolder"),
      firmwareLoadRetryLimit(pump, 0, "FirmwareLoadRetryLimit", 10),
      fixedSerialSpeed(pump, kMsgFixedSerialSpeed, "FixedSerialSpeed", 0),
      firmwareStatus(pump, kMsgFirmwareStatus, kFirmwareNone),
      firmwareVersions(pump, kMsgFirmwareVersions, 0),
      loaderFlags(pump, kMsgLoaderFlags, "LoaderFlags", 0),
      portEvent(pump, kMsgPortEvent),
      serialNumber(pump, kMsgSerialNumber, 0xFFFF),
      portName(pump, kMsgPortName, "Port"),
      serialSpeed(pump),
      portState(pump, kMsgPortState, kPortClosed),
      trace(pump, 0, "Trace", 0),
      verboseLogging(pump, 0, "VerboseLogging", 0),
      technicianTxGainCalibration(pump, 0, "TechnicianTXGainCalibration", 0),
      m_pump(pump),
      m_settings(settings),
      m_notifier(notifier),
      m_persistables{
          &activePage,  &advancedMode, &firmwareFolder, &firmwareLoadRetryLimit, &fixedSerialSpeed,
          &loaderFlags, &portName,     &trace,          &verboseLogging,         &technicianTxGainCalibration} {}

CModel::~CModel() = default;

void CModel::LoadSettings() {
    if (m_settings != nullptr) {
        for (IPersistable* value : m_persistables) {
            value->Load(*m_settings);
        }
    }
    if (firmwareFolder.Get().empty()) {
        firmwareFolder.Set(DefaultFirmwareFolder().string());
    }
}

Result CModel::SaveSettings() {
    if (m_settings == nullptr) {
        return kOk;
    }
    for (IPersistable* value : m_persistables) {
        value->Save(*m_settings);
    }
    return m_settings->Save();
}

std::filesystem::path CModel::DefaultFirmwareFolder() const {
    std::filesystem::path base = DataHome();
    if (base.empty()) {
        base = DocumentsDir();
    }
    std::filesystem::path tarnwell = base / "Tarnwell";
    EnsureDirectory(tarnwell);
    std::filesystem::path folder = tarnwell / StrFormat("%s Firmware", kModelName);
    EnsureDirectory(folder);
    return folder;
}

void CModel::Reset() {
    optionModules.clear();
    transmitState = TransmitState::kUnknown;
    firmwareVersions.Set(0, 0);
    firmwareVersions.Set(1, 0);
    serialNumber.Set(0xFFFF);
    firmwareStatus.Set(kFirmwareNone);
}

bool CModel::IsExpectedDevice() const {
    const TarnwellDevice kind = deviceKind.Get();
    return kind == kDeviceNone || kind == kDeviceRM7;
}

bool CModel::IsSupportedSpeed(std::uint32_t bitsPerSecond) {
    switch (bitsPerSecond) {
        case 4800:
        case 9600:
        case 19200:
        case 38400:
        case 57600:
        case 115200:
        case 230400:
            return true;
        default:
            return false;
    }
}

std::string CModel::FirmwareVersionText(std::size_t index) const {
    return index < 2 ? VersionText(firmwareVersions.Get(index)) : std::string();
}

std::string CModel::WaitingForLoadText() const {
    return StrFormat("%s waiting for firmware load", kModelName) +
           StrFormat(" on %s at %u bit/s", portName.Get().c_str(), serialSpeed.Get());
}

std::string CModel::McuVersionText() const {
    return StrFormat("%s MCU version %s", kModelName, FirmwareVersionText(0).c_str()) +
           StrFormat(" on %s at %u bit/s", portName.Get().c_str(), serialSpeed.Get());
}

std::vector<std::string> CModel::VersionLines() const {
    if (verboseLogging.Get() == 0 && trace.Get() == 0) {
        return {};
    }
    const OsVersionInfo os = GetOsVersion();
    return {ProgramVersionLine(), StrFormat("OS Version %u.%u Build %u ", os.major, os.minor, os.build) + os.text};
}

void CModel::StatusText(const std::string& text) const {
    if (m_notifier != nullptr) {
        m_notifier->StatusText(text);
    }
}

void CModel::MessageBox(const std::string& caption, const std::string& text, MessageIcon icon) const {
    if (m_notifier != nullptr) {
        m_notifier->MessageBox(caption, text, icon);
    }
}

}  // namespace rm7
