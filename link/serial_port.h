#pragma once
// The one connection to the radio. Implementations: CSerialPort on a real tty, CNetworkPort for
// a serial port on another machine (rfc2217:// or tcp://), CPortByName choosing between those two
// by the port name, and CMemoryPort wired straight to the in-process simulated radio for
// virtual-time tests.
//
// Threads: every call is made on the UI thread. An implementation may run its own
// listener thread, which only posts kMsgSerialNotice to the notification target.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/message_pump.h"
#include "platform/result.h"

namespace rm7 {

class IUserNotifier;

class ISerialPort {
  public:
    virtual ~ISerialPort() = default;

    // Opens at 38400 bit/s, 8N1, no flow control. Opening an open port changes nothing.
    virtual Result Open(const std::string& name) = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    // False with the thread's last error set on failure; 0 bytes succeed at once.
    virtual bool Write(const void* bytes, std::size_t length) = 0;
    // Never waits: count is 0 when nothing has arrived.
    virtual bool Read(void* buffer, std::size_t length, std::size_t& count) = 0;
    virtual Result PurgeReceive() = 0;
    virtual Result SetSpeed(std::uint32_t bitsPerSecond) = 0;
    virtual std::uint32_t Speed() const = 0;
    virtual const std::string& Name() const = 0;
    // How long a speed change wants the line to settle before and after (ms).
    virtual std::uint32_t SettleMs() const = 0;
    virtual void SetNotificationTarget(IMessageTarget* target) = 0;
    virtual void SetNotifier(IUserNotifier* notifier) = 0;
};

}  // namespace rm7
