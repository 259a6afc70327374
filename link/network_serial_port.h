#pragma once
// CNetworkPort: the connection to a radio whose serial port is on another machine, reached over
// TCP as "rfc2217://HOST:PORT" (Telnet with COM-PORT-OPTION: speed and line are set at the far
// end) or "tcp://HOST:PORT" (raw bytes: the speed is fixed at the far end and Speed() is only
// what the program assumes). To the session it is a serial port like any other.
//
// Threads: Open, Close, Read, Write, PurgeReceive and SetSpeed run on the UI thread. One listener
// thread per connection waits for the socket and posts to the port itself; the port takes the
// bytes apart on the UI thread (answering the far end's option requests at once) and passes the
// serial notice on to the notification target when data has come. The listener posts again only
// after the UI thread has received, so a busy far end never floods the pump. A connection the far
// end closed, or one that went silent, closes the port as an unplugged cable does: once what came
// before has been read, the port posts kMsgPortLost (wParam: kErrNetClosed or kErrNetSilent).
// Open connects within a deadline and never waits longer.
#include <vector>

#include "link/port_listener.h"
#include "link/port_name.h"
#include "link/rfc2217.h"
#include "link/serial_port.h"
#include "platform/tcp_socket.h"

namespace rm7 {

class CNetworkPort final : public ISerialPort, private IMessageTarget {
  public:
    explicit CNetworkPort(IMessagePump& pump) : m_pump(pump) {}
    ~CNetworkPort() override {
        Close();
        m_pump.Forget(this);
    }

    Result Open(const std::string& name) override;
    void Close() override;
    bool IsOpen() const override { return m_socket.IsOpen(); }
    bool Write(const void* bytes, std::size_t length) override;
    bool Read(void* buffer, std::size_t length, std::size_t& count) override;
    Result PurgeReceive() override;
    Result SetSpeed(std::uint32_t bitsPerSecond) override;
    std::uint32_t Speed() const override { return m_speed; }
    const std::string& Name() const override { return m_name; }
    // The far end's adapter wants the time a local one does; a raw connection never changes speed.
    std::uint32_t SettleMs() const override { return m_address.kind == PortKind::Rfc2217 ? 50 : 0; }
    void SetNotificationTarget(IMessageTarget* target) override { m_target = target; }
    void SetNotifier(IUserNotifier* notifier) override { m_notifier = notifier; }

    void SetConnectDeadline(int ms) { m_connectDeadlineMs = ms; }
    // The far end refused COM-PORT-OPTION (a plain Telnet server): speed changes reach nobody.
    bool LineSettingsRefused() const { return m_codec.ComPortRefused(); }

  private:
    LResult OnMessage(std::uint32_t code, WParam wParam, LParam lParam) override;
    // Receives what is waiting and takes it apart; false when the connection has ended.
    bool Take();
    Result SendRaw(const std::string& bytes);
    // Closes the port after the connection ended and tells the notification target.
    void Lose(Result why);
    Result Fail(Result why);
    Result NotOpen();

    IMessagePump& m_pump;
    IMessageTarget* m_target = nullptr;
    IUserNotifier* m_notifier = nullptr;
    CTcpSocket m_socket;
    PortAddress m_address;
    CRfc2217Codec m_codec;
    std::string m_name;
    std::uint32_t m_speed = 38400;
    int m_connectDeadlineMs = 5000;
    std::vector<std::uint8_t> m_rx;
    std::size_t m_rxPos = 0;
    Result m_ended = 0;  // how the connection ended, once it has; its data may wait
    bool m_selfNotice = false;
    Result m_lostError = 0;  // why the port closed itself, until the next Open
    CPortListener m_listener;
};

}  // namespace rm7
