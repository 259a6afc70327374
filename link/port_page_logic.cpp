#include "link/port_page_logic.h"

#include <algorithm>

#include "link/contact.h"
#include "link/port_name.h"
#include "platform/format.h"
#include "platform/result_codes.h"
#include "platform/tty.h"
#include "platform/version.h"

namespace rm7 {

std::string SerialDeviceLabel(const SerialDeviceInfo& device) {
    if (device.displayName.empty() || device.displayName == device.path) {
        return device.path;
    }
    return device.path + " (" + device.displayName + ")";
}

std::vector<PortListEntry> PortListEntries(const std::vector<SerialDeviceInfo>& devices,
                                           const std::vector<std::string>& openedPorts) {
    std::vector<PortListEntry> entries;
    for (const SerialDeviceInfo& device : devices) {
        entries.push_back({SerialDeviceLabel(device), device.path});
    }
    for (const std::string& port : openedPorts) {
        if (!port.empty() && PortListIndex(entries, port) < 0) {
            entries.push_back({port, port});
        }
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
    const std::string port = m_model.portName.Get();
    if (port.empty()) {
        m_session.ClosePort();
        m_model.MessageBox("Select a serial port", "Please choose a serial port on the Port page", MessageIcon::Error);
        return TestOutcome::NoPort;
    }
    // A path that is not there, or is no device, needs no search at every speed to say so.
    if (const std::string problem = port.starts_with('/') ? SerialPathProblem(port) : std::string(); !problem.empty()) {
        m_model.MessageBox(kSerialPortCaption,
                           StrFormat("%s: %s\n\nChoose the radio's port from the list.", port.c_str(), problem.c_str()),
                           MessageIcon::Error);
        return TestOutcome::NotADevice;
    }
    m_session.ClosePort();
    m_testing = true;
    m_session.Contact().StartAtOpenPort();
    return TestOutcome::Started;
}

void CPortPageLogic::OnPortState() {
    if (!m_model.IsPortOpen()) {
        return;
    }
    const std::string port = m_model.portName.Get();
    if (std::find(m_openedPorts.begin(), m_openedPorts.end(), port) == m_openedPorts.end()) {
        m_openedPorts.push_back(port);
    }
    if (m_model.firmwareStatus.Get() == kFirmwareNone && m_session.Contact().IsIdle()) {
        m_session.Contact().StartAtOpenPort();
    }
}

void CPortPageLogic::OnContactEnded(Result result) {
    if (!m_testing) {
        return;
    }
    m_testing = false;
    const std::string port = m_model.portName.Get();
    if (!m_model.IsPortOpen()) {
        // An access-denied port is offered the diagnosis instead.
        if (result != kErrorAccessDenied) {
            m_model.MessageBox(
                kSerialPortCaption,
                StrFormat("Serial port %s did not open: %s", port.c_str(),
                          (IsNetworkPortName(port) ? PortErrorText(port, result) : PortOpenFailureText(port, result))
                              .c_str()),
                MessageIcon::Error);
        }
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
            // A refused device has had its own box from the contact.
            if (result != kErrUnexpectedDevice) {
                m_model.MessageBox(caption, StrFormat("%s is not responding", kModelName), MessageIcon::Error);
            }
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
