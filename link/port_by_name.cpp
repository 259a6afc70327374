#include "link/port_by_name.h"

namespace rm7 {

Result CPortByName::Open(const std::string& name) {
    if (IsOpen()) {
        return kOk;
    }
    m_useNetwork = IsNetworkPortName(name);
    return Current().Open(name);
}

void CPortByName::SetNotificationTarget(IMessageTarget* target) {
    m_tty.SetNotificationTarget(target);
    m_network.SetNotificationTarget(target);
}

void CPortByName::SetNotifier(IUserNotifier* notifier) {
    m_tty.SetNotifier(notifier);
    m_network.SetNotifier(notifier);
}

std::unique_ptr<ISerialPort> MakeSerialPort(IMessagePump& pump) {
    return std::make_unique<CPortByName>(pump);
}

}  // namespace rm7
