#pragma once
// The serial port the programs use: whichever kind the port name asks for at each Open — a tty
// for a device path, a network port for "rfc2217://HOST:PORT" or "tcp://HOST:PORT". Everything
// above link/ sees one ISerialPort and never knows which.
//
// Threads: as the port in use (UI thread; each kind runs its own listener).
#include <memory>

#include "link/network_serial_port.h"
#include "link/tty_serial_port.h"

namespace rm7 {

class CPortByName final : public ISerialPort {
  public:
    explicit CPortByName(IMessagePump& pump) : m_tty(pump), m_network(pump) {}

    Result Open(const std::string& name) override;
    void Close() override { Current().Close(); }
    bool IsOpen() const override { return Current().IsOpen(); }
    bool Write(const void* bytes, std::size_t length) override { return Current().Write(bytes, length); }
    bool Read(void* buffer, std::size_t length, std::size_t& count) override {
        return Current().Read(buffer, length, count);
    }
    Result PurgeReceive() override { return Current().PurgeReceive(); }
    Result SetSpeed(std::uint32_t bitsPerSecond) override { return Current().SetSpeed(bitsPerSecond); }
    std::uint32_t Speed() const override { return Current().Speed(); }
    const std::string& Name() const override { return Current().Name(); }
    std::uint32_t SettleMs() const override { return Current().SettleMs(); }
    void SetNotificationTarget(IMessageTarget* target) override;
    void SetNotifier(IUserNotifier* notifier) override;

  private:
    ISerialPort& Current() { return m_useNetwork ? static_cast<ISerialPort&>(m_network) : m_tty; }
    const ISerialPort& Current() const { return m_useNetwork ? static_cast<const ISerialPort&>(m_network) : m_tty; }

    CSerialPort m_tty;
    CNetworkPort m_network;
    bool m_useNetwork = false;
};

// The port for a program: the tty or the network port, chosen by name.
std::unique_ptr<ISerialPort> MakeSerialPort(IMessagePump& pump);

}  // namespace rm7
