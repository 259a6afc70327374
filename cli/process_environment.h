#pragma once
// rm7util's own environment: standard output and error, the system's pump on real time, the
// serial ports of this machine, and for --simulate rm7-sim from beside the program (on Windows,
// which has no pty, the simulated radio inside this process over the in-memory port).
#include <memory>

#include "cli/environment.h"
#include "platform/poll_pump.h"
#include "platform/wall_clock.h"

namespace rm7::cli {

class CPollLoop final : public IRunLoop {
  public:
    CPollLoop();
    ~CPollLoop();
    CPollLoop(const CPollLoop&) = delete;
    CPollLoop& operator=(const CPollLoop&) = delete;

    IMessagePump& Pump() override { return m_pump; }
    bool RunUntil(const std::function<bool()>& done, std::uint32_t timeoutMs) override {
        return m_pump.RunUntil(done, timeoutMs);
    }
    // The signal handler only writes a byte into a pipe the pump watches (on Windows, the
    // console's control handler only posts to the pump).
    void CatchInterrupts(std::function<void()> onInterrupt) override;
    bool WatchInput(int fd, std::function<void()> onReadable) override {
        m_pump.WatchFd(fd, std::move(onReadable));
        return true;
    }
    void UnwatchInput(int fd) override { m_pump.UnwatchFd(fd); }

  private:
    void Restore();
    void Deliver(int count);

    // What the system needs to give the interrupts back: the signals' old actions.
    struct Interrupts;

    CPollPump m_pump;
    std::function<void()> m_onInterrupt;
    bool m_catching = false;
    std::unique_ptr<Interrupts> m_interrupts;
};

class CProcessEnvironment final : public IEnvironment {
  public:
    CProcessEnvironment();
    ~CProcessEnvironment();
    CProcessEnvironment(const CProcessEnvironment&) = delete;
    CProcessEnvironment& operator=(const CProcessEnvironment&) = delete;
    std::ostream& Out() override;
    std::ostream& Err() override;
    bool ErrIsTerminal() const override { return m_errIsTerminal; }
    IRunLoop& Loop() override { return m_loop; }
    std::unique_ptr<ISerialPort> MakePort() override;
    Result StartSimulator(const std::string& extraArgs, std::string& device) override;
    Result MakeFirmware(const std::filesystem::path& dir) override;
    std::int64_t WallClockMs() override { return rm7::WallClockMs(); }

  private:
    // rm7-sim as a child process, or the radio inside this one.
    struct Simulator;

    bool m_errIsTerminal;
    CPollLoop m_loop;
    // After the loop: the radio outlives every session on it.
    std::unique_ptr<Simulator> m_simulator;
};

}  // namespace rm7::cli
