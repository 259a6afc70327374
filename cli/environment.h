#pragma once
// What a run of rm7util is given from outside: where its output goes, the loop that moves the
// pump's clock, and how its serial port is made. The program hands in its own process's
// (CProcessEnvironment); a test hands in a radio in the same process on a virtual clock.
//
// Threads: one; every call, and every handler the loop runs, is on the thread that runs the loop.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "link/serial_port.h"
#include "platform/message_pump.h"
#include "platform/result.h"

namespace rm7::cli {

// The pump and what drives it: poll(2) on real time, or a virtual clock moved event by event.
class IRunLoop {
  public:
    virtual IMessagePump& Pump() = 0;
    // Runs the pump until done() holds or timeoutMs pass on its clock; returns done().
    virtual bool RunUntil(const std::function<bool()>& done, std::uint32_t timeoutMs) = 0;
    // While a handler is set, SIGINT, SIGTERM and SIGHUP call it from the loop (once for each signal)
    // instead of ending the program; an empty handler gives the signals their default back.
    virtual void CatchInterrupts(std::function<void()> onInterrupt) = 0;
    // Calls onReadable from the loop whenever fd is readable (or at its end) until UnwatchInput;
    // false when this loop watches no descriptors.
    virtual bool WatchInput(int fd, std::function<void()> onReadable) {
        (void)fd;
        (void)onReadable;
        return false;
    }
    virtual void UnwatchInput(int fd) { (void)fd; }

  protected:
    ~IRunLoop() = default;
};

class IEnvironment {
  public:
    // Results go to Out(); progress, log lines and failures to Err().
    virtual std::ostream& Out() = 0;
    virtual std::ostream& Err() = 0;
    // Err() is a terminal, where a progress line may redraw itself.
    virtual bool ErrIsTerminal() const = 0;
    virtual IRunLoop& Loop() = 0;
    // The serial port a session talks through, on the loop's pump.
    virtual std::unique_ptr<ISerialPort> MakePort() = 0;
    // --simulate: starts a simulated radio with these extra options and gives the device it
    // answers on. The radio runs until the environment goes away.
    virtual Result StartSimulator(const std::string& extraArgs, std::string& device) = 0;
    // --simulate: writes the simulated radio's firmware pair and release notes into dir.
    virtual Result MakeFirmware(const std::filesystem::path& dir) = 0;
    // The computer's clock: milliseconds since the Unix epoch.
    virtual std::int64_t WallClockMs() = 0;

  protected:
    ~IEnvironment() = default;
};

}  // namespace rm7::cli
