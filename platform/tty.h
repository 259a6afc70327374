#pragma once
// The termios side of the serial port: a tty device opened exclusively and set to what the radio
// speaks (raw 8N1, no flow control, DTR and RTS off, 38400 bit/s), with non-blocking reads,
// writes that wait for the output queue, and a wait for input that a stop descriptor can end.
//
// One object, one open device. Read/Write/Purge/SetSpeed belong to one thread at a time;
// WaitReadable may run on a listener thread while the owner reads and writes, but Close() must
// not run until that wait has ended (signal the stop fd first).
#include "platform/result.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace rm7 {

class CTtyDevice {
  public:
    CTtyDevice() = default;
    ~CTtyDevice() { Close(); }
    CTtyDevice(const CTtyDevice&) = delete;
    CTtyDevice& operator=(const CTtyDevice&) = delete;

    // A device held by another program is ERROR_BUSY (170), one the user may not open
    // ERROR_ACCESS_DENIED (5), a path that is not a tty ERROR_INVALID_FUNCTION (1). A failed Open leaves nothing open.
    // Opening an open device changes nothing and succeeds.
    Result Open(const std::string& path);
    void Close();
    bool IsOpen() const { return m_fd >= 0; }
    int Fd() const { return m_fd; }
    const std::string& Path() const { return m_path; }

    // 4800, 9600, 19200, 38400, 57600, 115200 or 230400; any other is ERROR_INVALID_PARAMETER
    // (87). When the device refuses, its previous settings are put back.
    Result SetSpeed(std::uint32_t bps);
    // The speed in the tty's current settings; 0 when not open.
    std::uint32_t Speed() const;
    // Drops what was received and not yet read.
    Result Purge();
    // Whatever is waiting, up to len bytes; count 0 when nothing is.
    Result Read(void* buf, std::size_t len, std::size_t& count);
    // All n bytes, waiting while the output queue is full; ERROR_TIMEOUT (1460) when it has not
    // moved for the stall limit (5 s).
    Result Write(const void* data, std::size_t n);
    // Waits until bytes can be read (readable = true), stopFd becomes readable or timeoutMs
    // (-1: no limit) pass (both readable = false, success). A hung-up or failed device, as an
    // unplugged adapter, is kErrPortGone, as is any call on a device that has gone.
    Result WaitReadable(int stopFd, int timeoutMs, bool& readable);

    void SetWriteStallLimit(int ms) { m_writeStallMs = ms; }

  private:
    int m_fd = -1;
    std::string m_path;
    int m_writeStallMs = 5000;
};

// One line that tells the user what to do when path may not be opened (ERROR_ACCESS_DENIED):
// which group to join, or a general hint.
std::string AccessDeniedHint(const std::string& path);
// Who holds the device at path, for a port that is busy: "in use by minicom (pid 4242)", or
// "in use by another program" when the holder cannot be seen.
std::string DeviceHolderText(const std::string& path);
// Why a port did not open, in the system's words, for a person: the code's text, with the
// holder for a busy one ("Device or resource busy: in use by minicom (pid 4242)").
std::string PortOpenFailureText(const std::string& path, Result code);
// Why path cannot be a serial device, seen without opening it: the system's words for a path
// that is not there ("No such file or directory"), or that it is a folder or a regular file.
// Empty when it may be one: a character device, or what cannot be looked at (opening it tells).
std::string SerialPathProblem(const std::string& path);
// The process (pid, name) holding the character device at path open, 0 when none; the other
// end of a pty is not counted.
int FindDeviceHolder(const std::string& path, std::string& name);
// Whether the user is in the group (primary or supplementary), and the group's name.
bool UserInGroup(unsigned gid);
std::string GroupNameOf(unsigned gid);

}  // namespace rm7
