#include "link/radio_session.h"

#include "link/contact.h"
#include "link/serial_port.h"
#include "platform/error_text.h"
#include "platform/format.h"
#include "platform/result_codes.h"

namespace rm7 {

CRadioSession::CRadioSession(CModel& model, std::unique_ptr<ISerialPort> port)
    : m_model(model), m_port(std::move(port)), m_router(*this) {
    m_port->SetNotificationTarget(&m_router);
    m_port->SetNotifier(model.Notifier());
    m_model.serialSpeed.Update(m_port->Speed());
    m_contact = std::make_unique<CContactStateMachine>(*this);
}

CRadioSession::~CRadioSession() {
    m_contact.reset();
    m_port->Close();
    Pump().Forget(&m_router);
}

void CRadioSession::SetNotifier(IUserNotifier* notifier) {
    m_model.SetNotifier(notifier);
    m_port->SetNotifier(notifier);
}

IStateMachine* CRadioSession::BusyMachine() const {
    if (!m_contact->IsIdle()) {
        return m_contact.get();
    }
    return m_active != nullptr && !m_active->IsIdle() ? m_active : nullptr;
}

bool CRadioSession::AllIdle() const {
    return m_contact->IsIdle() && (m_active == nullptr || m_active->IsIdle());
}

Result CRadioSession::OpenSerialPort(const std::string& name) {
    const Result r = m_port->Open(name);
    m_model.portState.Set(r == kOk ? kPortOpen : kPortClosed);
    if (m_model.serialSpeed.Get() != m_port->Speed()) {
        m_model.serialSpeed.Update(m_port->Speed());
    }
    return r;
}

void CRadioSession::ClosePort() {
    m_port->Close();
    m_settling = false;
    m_model.portState.Set(kPortClosed);
    m_model.Reset();
}

void CRadioSession::SetSerialSpeed(std::uint32_t bitsPerSecond) {
    ISerialPort& port = *m_port;
    if (m_model.IsPortOpen() && port.IsOpen() && bitsPerSecond != port.Speed() &&
        CModel::IsSupportedSpeed(bitsPerSecond)) {
        const Result r = port.SetSpeed(bitsPerSecond);
        if (r != kOk && port.IsOpen()) {
            // No other place says it: the search goes on at the speed the port kept. (A port
            // that went away is said by the job it ends.)
            m_model.StatusText(StrFormat("Serial port %s was not set to %u bit/s: %s", port.Name().c_str(),
                                         bitsPerSecond, ErrorText(r).c_str()));
        } else if (r == kOk && port.Speed() == bitsPerSecond) {
            port.PurgeReceive();
            // An adapter may deliver noise while it changes speed: the next send waits this
            // long and purges first, on the pump's clock rather than by sleeping.
            m_settling = port.SettleMs() > 0;
            m_settledAt = Pump().TickCount() + port.SettleMs();
        }
    }
    m_model.serialSpeed.Update(port.Speed());
}

std::uint32_t CRadioSession::SettleRemainingMs() const {
    if (!m_settling) {
        return 0;
    }
    const auto left = static_cast<std::int32_t>(m_settledAt - Pump().TickCount());
    return left > 0 ? static_cast<std::uint32_t>(left) : 0;
}

Result CRadioSession::PurgeReceive() {
    return m_port->PurgeReceive();
}

bool CRadioSession::SendText(const std::string& text) {
    return m_port->Write(text.data(), text.size());
}

bool CRadioSession::WriteBytes(const void* bytes, std::size_t length) {
    return m_port->Write(bytes, length);
}

LResult CRadioSession::CRouter::OnMessage(std::uint32_t code, WParam wParam, LParam lParam) {
    CRadioSession& s = m_session;
    if (code == kMsgPortLost) {
        // A port open again since (the user reopened it) makes the notice stale.
        if (s.m_port->IsOpen()) {
            return 0;
        }
        // The port closed itself (the adapter went away): what was known of the radio goes too,
        // and the job talking to the radio ends now rather than at its next send.
        if (s.m_model.IsPortOpen()) {
            s.ClosePort();
        }
        if (IStateMachine* busy = s.BusyMachine()) {
            busy->OnPortLost(wParam != 0 ? static_cast<Result>(wParam) : kErrPortGone);
        } else if (s.m_idleTarget != nullptr) {
            // No job had the radio: whoever talks to it between jobs says it once.
            s.Pump().Send(s.m_idleTarget, code, wParam, lParam);
        }
        return 0;
    }
    if (code != kMsgTimer && code != kMsgSerialNotice) {
        return 0;
    }
    if (IStateMachine* target = s.BusyMachine()) {
        return code == kMsgTimer ? target->OnTimer(code, wParam, lParam) : target->OnSerialEvent(code, wParam, lParam);
    }
    return s.m_idleTarget != nullptr ? s.Pump().Send(s.m_idleTarget, code, wParam, lParam) : 0;
}

}  // namespace rm7
