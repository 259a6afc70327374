#include "link/state_machine.h"

#include <cstdarg>

#include "link/contact.h"

namespace rm7 {

CStateMachineBase::~CStateMachineBase() {
    Model().Pump().KillTimer(m_session.Router(), m_timerId);
}

void CStateMachineBase::Log(const std::string& text) {
    if (m_logTarget != nullptr) {
        Model().Pump().Send(m_logTarget, kMsgLogLine, 0, reinterpret_cast<LParam>(&text));
    }
}

void CStateMachineBase::NotifyCompletion() {
    Model().portEvent.NotifyAll(static_cast<WParam>(m_result), 0);
}

void CStateMachineBase::OnComplete() {
    NotifyCompletion();
}

void CStateMachineBase::ResumeContact() {
    if (Failed(m_result) && m_result != kErrUnexpectedDevice) {
        Model().firmwareStatus.Set(kFirmwareNone);
        NotifyCompletion();
    } else if (m_session.ActiveMachine() != nullptr) {
        // A refused device is found and refused again, with the contact's message box.
        m_session.SetActiveMachine(nullptr);
        RestartContact();
    } else {
        if (m_result == kErrUnexpectedDevice) {
            Model().firmwareStatus.Set(kFirmwareNone);
        }
        NotifyCompletion();
    }
}

void CStateMachineBase::RestartContact() {
    m_session.Contact().StartAtSpeedSearch();
}

void CStateMachineBase::ArmTimer(std::uint32_t ms) {
    Model().Pump().SetTimer(m_session.Router(), m_timerId, ms);
    m_waitStart = Model().Pump().TickCount();
}

void CStateMachineBase::KillTimer() {
    Model().Pump().KillTimer(m_session.Router(), m_timerId);
}

bool CStateMachineBase::Transmit(std::vector<std::string> parts, std::uint32_t timeoutMs) {
    m_response.clear();
    m_heldWrite = std::move(parts);
    if (const std::uint32_t settle = m_session.SettleRemainingMs(); settle > 0) {
        m_holding = true;
        m_heldTimeoutMs = timeoutMs;
        ArmTimer(settle);
        return true;
    }
    return WriteNow(timeoutMs);
}

bool CStateMachineBase::SendHeldWrite() {
    if (!m_holding) {
        return false;
    }
    m_holding = false;
    m_response.clear();
    WriteNow(m_heldTimeoutMs);
    return true;
}

bool CStateMachineBase::WriteNow(std::uint32_t timeoutMs) {
    Result r = kOk;
    bool written = true;
    for (const std::string& part : m_heldWrite) {
        r = m_session.PurgeReceive();
        written = r == kOk && m_session.WriteBytes(part.data(), part.size());
        if (!written) {
            break;
        }
    }
    if (written) {
        ArmTimer(timeoutMs);
        return true;
    }
    const char* call = "PurgeComm";
    if (r == kOk) {
        call = "WriteFile";
        r = GetLastError();
    }
    if (r == kOk) {
        // Never let a failed send pass for success.
        r = kErrorGenFailure;
    }
    // The job's outcome says the failure; which call it was is for a trace.
    TraceText("%s failed on \"%s\": Error 0x%08X", call, m_session.Port().Name().c_str(), r);
    EndWithFailure(r);
    return false;
}

void CStateMachineBase::StatusText(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    const std::string text = StrFormatV(format, args);
    va_end(args);
    Log(text);
    Model().StatusText(text);
}

void CStateMachineBase::TraceText(const char* format, ...) {
    if (!Tracing()) {
        return;
    }
    std::va_list args;
    va_start(args, format);
    const std::string text = StrFormatV(format, args);
    va_end(args);
    // Marked, so that a view can keep trace lines out of its status bar.
    if (m_logTarget != nullptr) {
        Model().Pump().Send(m_logTarget, kMsgLogLine, kLogLineTrace, reinterpret_cast<LParam>(&text));
    }
}

bool CStateMachineBase::ReadResponse() {
    ISerialPort& port = m_session.Port();
    for (;;) {
        char byte = 0;
        std::size_t count = 0;
        if (!port.Read(&byte, 1, count)) {
            TraceText("ReadFile failed on \"%s\": Error 0x%08X", port.Name().c_str(), GetLastError());
            return false;
        }
        if (count == 0) {
            return true;
        }
        m_response.push_back(byte);
        if (m_terminators.find(byte) != std::string::npos) {
            return true;
        }
        if (m_response.size() >= kAnswerLimit) {
            TraceText("Dropped %zu bytes without a terminator", m_response.size());
            m_response.clear();
        }
    }
}

}  // namespace rm7
