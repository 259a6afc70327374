#pragma once
// rm7util's own environment: standard output and error, a poll(2) pump on real time, the
// serial ports of this machine, and rm7-sim from beside the program for --simulate.
#include <signal.h>

#include "cli/environment.h"
#include "platform/child_process.h"
#include "platform/poll_pump.h"
#include "platform/wall_clock.h"

namespace rm7::cli {

class CPollLoop final : public IRunLoop {
  public:
    CPollLoop() = default;
    ~CPollLoop();
    CPollLoop(const CPollLoop&) = delete;
    CPollLoop& operator=(const CPollLoop&) = delete;

    IMessagePump& Pump() override { return m_pump; }
    bool RunUntil(const std::function<bool()>& done, std::uint32_t timeoutMs) override {
        return m_pump.RunUntil(done, timeoutMs);
    }
    // The signal handler only writes a byte into a pipe the pump watches.
    void CatchInterrupts(std::function<void()> onInterrupt) override;
    bool WatchInput(int fd, std::function<void()> onReadable) override {
        m_pump.WatchFd(fd, std::move(onReadable));
        return true;
    }
    void UnwatchInput(int fd) override { m_pump.UnwatchFd(fd); }

  private:
    void Restore();

    CPollPump m_pump;
    std::function<void()> m_onInterrupt;
    bool m_catching = false;
    struct sigaction m_oldInt {};
    struct sigaction m_oldTerm {};
    struct sigaction m_oldHup {};
};

class CProcessEnvironment final : public IEnvironment {
  public:
    CProcessEnvironment();
    std::ostream& Out() override;
    std::ostream& Err() override;
    bool ErrIsTerminal() const override { return m_errIsTerminal; }
    IRunLoop& Loop() override { return m_loop; }
    std::unique_ptr<ISerialPort> MakePort() override;
    Result StartSimulator(const std::string& extraArgs, std::string& device) override;
    Result MakeFirmware(const std::filesystem::path& dir) override;
    std::int64_t WallClockMs() override { return rm7::WallClockMs(); }

  private:
    bool m_errIsTerminal;
    CPollLoop m_loop;
    // After the loop: the radio outlives every session on it.
    CChildProcess m_simulator;
};

}  // namespace rm7::cli
