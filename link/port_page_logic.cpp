#include "link/port_page_logic.h"

#include <algorithm>

#include "link/contact.h"
#include "platform/format.h"
#include "platform/version.h"

namespace rm7 {

std::string SerialDeviceLabel(const SerialDeviceInfo& device) {
    if (device.displayName.empty() || device.displayName == device.path) {
        return device.path;
    }
    return device.path + " (" + device.displayName + ")";
}

std::vector<PortListEntry> PortListEntries(const std::vector<SerialDeviceInfo>& devices, const std::string& current) {
    std::vector<PortListEntry> entries;
    for (const SerialDeviceInfo& device : devices) {
        entries.push_back({SerialDeviceLabel(device), device.path});
    }
    if (!current.empty() && PortListIndex(entries, current) < 0) {
        entries.push_back({current, current});
    }
    return entries;
}

int PortListIndex(const std::vector<PortListEntry>& entries, const std::string& port) {
    if (port.empty()) {
        return -1;
    }
    const auto found = std::find_if(entries.begin(), entries.end(), [&](const auto& e) { return e.port == port; });
    return found == entries.end() ? -1 : static_cast<int>(found - entries.begin());
}

std::string PortFromInput(const std::vector<PortListEntry>& entries, const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) {
        return std::string();
    }
    const std::string trimmed = text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
    for (const PortListEntry& entry : entries) {
        if (entry.label == trimmed) {
            return entry.port;
        }
    }
    // A bare device name, as "ttyUSB0", names the device in /dev.
    return trimmed.find('/') == std::string::npos ? "/dev/" + trimmed : trimmed;
}

std::size_t SpeedChoiceIndex(unsigned long fixedSpeed) {
    for (std::size_t i = 0; i < kSpeedChoices.size(); ++i) {
        if (kSpeedChoices[i].speed == fixedSpeed) {
            return i;
        }
    }
    return 0;
}

bool CPortPageLogic::ChoosePort(const std::string& port) {
    if (port == m_model.portName.Get()) {
        return false;
    }
    m_model.portName.Set(port);
    return true;
}

void CPortPageLogic::ChooseSpeed(std::size_t index) {
    if (index < kSpeedChoices.size()) {
        m_model.fixedSerialSpeed.Set(kSpeedChoices[index].speed);
    }
}

void CPortPageLogic::ClosePort() {
    m_session.ClosePort();
}

CPortPageLogic::TestOutcome CPortPageLogic::TestCommunications() {
    m_session.ClosePort();
    if (m_model.portName.Get().empty()) {
        m_model.MessageBox("Select a serial port", "Please choose a serial port on the Port page", MessageIcon::Error);
        return TestOutcome::NoPort;
    }
    m_session.Contact().StartAtOpenPort();
    return TestOutcome::Started;
}

void CPortPageLogic::OnPortState() {
    if (m_model.IsPortOpen() && m_model.firmwareStatus.Get() == kFirmwareNone && m_session.Contact().IsIdle()) {
        m_session.Contact().StartAtOpenPort();
    }
}

void CPortPageLogic::OnFirmwareStatus() {
    if (!m_model.IsPortOpen()) {
        return;
    }
    const std::string caption = StrFormat("%s Status", kModelName);
    switch (m_model.firmwareStatus.Get()) {
        case kFirmwareBootLoader:
            m_model.MessageBox(caption, m_model.WaitingForLoadText(), MessageIcon::Warning);
            break;
        case kFirmwareRunning:
            m_model.MessageBox(caption, m_model.McuVersionText(), MessageIcon::Information);
            break;
        case kFirmwareNone:
            m_model.MessageBox(caption, StrFormat("%s is not responding", kModelName), MessageIcon::Error);
            break;
    }
}

std::optional<Question> CPortPageLogic::AccessDeniedQuestion(Result result) const {
    if (result != kErrorAccessDenied) {
        return std::nullopt;
    }
    return Question{kAccessDeniedCaption,
                    StrFormat("Serial port \"%s\" access denied; may be in use by another program or USB cable may "
                              "have been removed.\n\nShow what stands in the way?",
                              m_model.portName.Get().c_str()),
                    MessageIcon::Warning};
}

std::string CPortPageLogic::DiagnosisText(const DoctorSystem& system) const {
    const std::string port = m_model.portName.Get();
    std::string text;
    for (const DoctorFinding& finding : DiagnoseDevice(port, system)) {
        text += DoctorFindingLine(finding) + "\n";
    }
    return StrFormat("%s:\n%s", port.c_str(), text.c_str());
}

}  // namespace rm7
