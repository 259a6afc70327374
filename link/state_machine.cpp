#include "link/state_machine.h"

#include <cstdarg>

#include "link/contact.h"

namespace rm7 {

CStateHost2::~CStateHost2() {
    m_model.Pump().KillTimer(m_model.Router(), m_timerId);
}

void CStateHost2::Log(const std::string& text) {
    if (m_logTarget != nullptr) {
        m_model.Pump().Send(m_logTarget, kMsgLogLine, 0, reinterpret_cast<LParam>(&text));
    }
}

void CStateHost2::NotifyCompletion() {
    m_model.portEvent.NotifyAll(static_cast<WParam>(m_result), 0);
}

void CStateHost2::OnComplete() {
    NotifyCompletion();
}

void CStateHost2::ResumeContact() {
    if (Failed(m_result) && m_result != kErrUnexpectedDevice) {
        m_model.firmwareStatus.Set(kFirmwareNone);
        NotifyCompletion();
    } else if (m_model.ActiveMachine() != nullptr) {
        // A refused device is found and refused again, with the contact's message box.
        m_model.SetActiveMachine(nullptr);
        RestartContact();
    } else {
        if (m_result == kErrUnexpectedDevice) {
            m_model.firmwareStatus.Set(kFirmwareNone);
        }
        NotifyCompletion();
    }
}

void CStateHost2::RestartContact() {
    m_model.Contact().StartAtSpeedSearch();
}

void CStateHost2::ArmTimer(std::uint32_t ms) {
    m_model.Pump().SetTimer(m_model.Router(), m_timerId, ms);
    m_waitStart = m_model.Pump().TickCount();
}

void CStateHost2::KillTimer() {
    m_model.Pump().KillTimer(m_model.Router(), m_timerId);
}

void CStateHost2::StatusText(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    const std::string text = StrFormatV(format, args);
    va_end(args);
    Log(text);
    m_model.StatusText(text);
}

void CStateHost2::TraceText(const char* format, ...) {
    if (!Tracing()) {
        return;
    }
    std::va_list args;
    va_start(args, format);
    const std::string text = StrFormatV(format, args);
    va_end(args);
    // Marked, so that a view can keep trace lines out of its status bar.
    if (m_logTarget != nullptr) {
        m_model.Pump().Send(m_logTarget, kMsgLogLine, kLogLineTrace, reinterpret_cast<LParam>(&text));
    }
}

bool CStateHost2::ReadResponse() {
    ISerialPort& port = m_model.Port();
    for (;;) {
        char byte = 0;
        std::size_t count = 0;
        if (!port.Read(&byte, 1, count)) {
            return false;
        }
        if (count == 0) {
            return true;
        }
        m_response.push_back(byte);
        if (m_terminators.find(byte) != std::string::npos) {
            return true;
        }
    }
}

}  // namespace rm7
