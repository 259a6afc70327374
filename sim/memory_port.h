#pragma once
// A serial port wired straight to the in-process simulated radio, for virtual-time tests and for
// rm7util --simulate on Windows (no pty there): what the utility writes reaches the radio at once,
// and the radio's answers arrive when the pump's clock reaches their due time, announced by the
// same serial notice.
#include <cstdint>
#include <vector>

#include "link/serial_port.h"

namespace rm7sim {
class Radio;
}

namespace rm7 {

class CMemoryPort final : public ISerialPort, private IMessageTarget {
  public:
    CMemoryPort(IMessagePump& pump, rm7sim::Radio& radio) : m_pump(pump), m_radio(radio) {}
    ~CMemoryPort() override { m_pump.Forget(this); }

    Result Open(const std::string& name) override;
    void Close() override;
    bool IsOpen() const override { return m_open; }
    bool Write(const void* bytes, std::size_t length) override;
    bool Read(void* buffer, std::size_t length, std::size_t& count) override;
    Result PurgeReceive() override;
    Result SetSpeed(std::uint32_t bitsPerSecond) override;
    std::uint32_t Speed() const override { return m_speed; }
    const std::string& Name() const override { return m_name; }
    std::uint32_t SettleMs() const override { return 0; }
    void SetNotificationTarget(IMessageTarget* target) override { m_target = target; }
    void SetNotifier(IUserNotifier* notifier) override { m_notifier = notifier; }

    // Test controls.
    void FailNextOpen(Result r) { m_openResult = r; }
    std::uint32_t Purges() const { return m_purges; }
    // Every speed the line was set to, in order.
    const std::vector<std::uint32_t>& SpeedHistory() const { return m_speedHistory; }

  private:
    LResult OnMessage(std::uint32_t code, WParam wParam, LParam lParam) override;
    void Schedule();
    void Deliver();
    bool Lost();

    IMessagePump& m_pump;
    rm7sim::Radio& m_radio;
    IMessageTarget* m_target = nullptr;
    IUserNotifier* m_notifier = nullptr;
    std::string m_name;
    bool m_open = false;
    std::uint32_t m_speed = 38400;
    std::vector<std::uint8_t> m_rx;
    std::size_t m_rxPos = 0;
    bool m_selfNotice = false;
    Result m_openResult = 0;
    std::uint32_t m_purges = 0;
    std::vector<std::uint32_t> m_speedHistory;
};

}  // namespace rm7
