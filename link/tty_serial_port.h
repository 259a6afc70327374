#pragma once
// CSerialPort: the connection to the radio on a real tty.
//
// Threads: Open, Close, Read, Write, PurgeReceive and SetSpeed run on the UI thread. One
// listener thread per open port waits for received bytes and posts kMsgSerialNotice;
// it posts again only after the UI thread has read or purged, so an unread queue never
// floods the pump. Received bytes never cross threads. When the device goes away the listener
// posts to the port itself, which closes on the UI thread and posts kMsgPortLost (wParam: the
// code, kErrPortGone) to the notification target.
#include <vector>

#include "link/port_listener.h"
#include "link/serial_port.h"
#include "platform/tty.h"

namespace rm7 {

class CSerialPort final : public ISerialPort, private IMessageTarget {
  public:
    explicit CSerialPort(IMessagePump& pump) : m_pump(pump) {}
    ~CSerialPort() override {
        Close();
        m_pump.Forget(this);
    }

    Result Open(const std::string& name) override;
    void Close() override;
    bool IsOpen() const override { return m_tty.IsOpen(); }
    bool Write(const void* bytes, std::size_t length) override;
    bool Read(void* buffer, std::size_t length, std::size_t& count) override;
    Result PurgeReceive() override;
    Result SetSpeed(std::uint32_t bitsPerSecond) override;
    std::uint32_t Speed() const override { return m_speed; }
    const std::string& Name() const override { return m_name; }
    std::uint32_t SettleMs() const override { return 50; }
    void SetNotificationTarget(IMessageTarget* target) override { m_target = target; }
    // Failures go back to the caller as codes: the port shows nothing itself.
    void SetNotifier(IUserNotifier* notifier) override { (void)notifier; }

  private:
    // A notice of our own for bytes read from the tty but not yet taken by the reader.
    LResult OnMessage(std::uint32_t code, WParam wParam, LParam lParam) override;
    // A failed system call: sets the thread's last error; a vanished device closes the port.
    Result Report(const char* call, Result code);
    // Closes the port after its device went away and tells the notification target.
    void Lose(Result why);
    Result NotOpen();

    IMessagePump& m_pump;
    IMessageTarget* m_target = nullptr;
    CTtyDevice m_tty;
    std::string m_name;
    std::uint32_t m_speed = 38400;
    std::vector<std::uint8_t> m_rx;
    std::size_t m_rxPos = 0;
    bool m_selfNotice = false;
    Result m_lostError = 0;  // why the port closed itself, until the next Open
    CPortListener m_listener;
};

}  // namespace rm7
