#include "model/model.h"

#include <chrono>
#include <thread>

#include "link/contact.h"
#include "link/serial_port.h"
#include "model/firmware_version.h"
#include "platform/format.h"
#include "platform/paths.h"
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

std::uint32_t CSerialPortSpeedValue::Get() const {
    return m_model.Port().Speed();
}

void CSerialPortSpeedValue::Set(std::uint32_t bitsPerSecond) {
    ISerialPort& port = m_model.Port();
    if (m_model.IsPortOpen() && port.IsOpen() && bitsPerSecond != port.Speed() &&
        CModel::IsSupportedSpeed(bitsPerSecond)) {
        const auto settle = std::chrono::milliseconds(port.SettleMs());
        std::this_thread::sleep_for(settle);
        const Result r = port.SetSpeed(bitsPerSecond);
        std::this_thread::sleep_for(settle);
        if (r == kOk && port.Speed() == bitsPerSecond) {
            m_model.PurgeReceive();
        }
    }
    NotifyAll(0, 0);
}

CModel::CModel(IMessagePump& pump, std::unique_ptr<ISerialPort> port, CSettingsStore* settings, IUserNotifier* notifier)
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
      serialSpeed(pump, *this),
      portState(pump, kMsgPortState, -1),
      trace(pump, 0, "Trace", 0),
      verboseLogging(pump, 0, "VerboseLogging", 0),
      technicianTxGainCalibration(pump, 0, "TechnicianTXGainCalibration", 0),
      m_pump(pump),
      m_port(std::move(port)),
      m_settings(settings),
      m_notifier(notifier),
      m_router(*this),
      m_persistables{
          &activePage,  &advancedMode, &firmwareFolder, &firmwareLoadRetryLimit, &fixedSerialSpeed,
          &loaderFlags, &portName,     &trace,          &verboseLogging,         &technicianTxGainCalibration},
      m_contact(std::make_unique<CContactStateMachine>(*this)) {
    m_port->SetNotificationTarget(&m_router);
    m_port->SetNotifier(notifier);
}

CModel::~CModel() {
    m_contact.reset();
    m_port->Close();
    m_pump.Forget(&m_router);
}

void CModel::SetNotifier(IUserNotifier* notifier) {
    m_notifier = notifier;
    m_port->SetNotifier(notifier);
}

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
    firmwareVersions.Set(0, 0);
    firmwareVersions.Set(1, 0);
    serialNumber.Set(0xFFFF);
    firmwareStatus.Set(kFirmwareNone);
}

Result CModel::OpenSerialPort(const std::string& name) {
    const Result r = m_port->Open(name);
    portState.Set(r == kOk ? 0 : -1);
    return r;
}

void CModel::ClosePort() {
    m_port->Close();
    portState.Set(-1);
    Reset();
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

void CModel::SetSerialSpeed(std::uint32_t bitsPerSecond) {
    serialSpeed.Set(bitsPerSecond);
}

Result CModel::PurgeReceive() {
    return m_port->PurgeReceive();
}

bool CModel::SendText(const std::string& text) {
    return m_port->Write(text.data(), text.size());
}

bool CModel::WriteBytes(const void* bytes, std::size_t length) {
    return m_port->Write(bytes, length);
}

std::string CModel::FirmwareVersionText(std::size_t index) const {
    return index < 2 ? VersionText(firmwareVersions.Get(index)) : std::string();
}

std::string CModel::WaitingForLoadText() const {
    return StrFormat("%s waiting for firmware load", kModelName) +
           StrFormat(" on %s at %u bit/s", portName.Get().c_str(), m_port->Speed());
}

std::string CModel::McuVersionText() const {
    return StrFormat("%s MCU version %s", kModelName, FirmwareVersionText(0).c_str()) +
           StrFormat(" on %s at %u bit/s", portName.Get().c_str(), m_port->Speed());
}

bool CModel::AllIdle() const {
    return m_contact->IsIdle() && (m_active == nullptr || m_active->IsIdle());
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

LResult CModel::CRouter::OnMessage(std::uint32_t code, WParam wParam, LParam lParam) {
    if (code == kMsgPortLost) {
        // The port closed itself (the adapter went away): what was known of the radio goes too.
        if (!m_model.m_port->IsOpen() && m_model.IsPortOpen()) {
            m_model.ClosePort();
        }
        return 0;
    }
    if (code != kMsgTimer && code != kMsgSerialNotice) {
        return 0;
    }
    IStateMachine* target = nullptr;
    if (!m_model.m_contact->IsIdle()) {
        target = m_model.m_contact.get();
    } else if (m_model.m_active != nullptr && !m_model.m_active->IsIdle()) {
        target = m_model.m_active;
    }
    if (target != nullptr) {
        return code == kMsgTimer ? target->OnTimer(code, wParam, lParam) : target->OnSerialEvent(code, wParam, lParam);
    }
    return m_model.m_idleTarget != nullptr ? m_model.m_pump.Send(m_model.m_idleTarget, code, wParam, lParam) : 0;
}

}  // namespace rm7
