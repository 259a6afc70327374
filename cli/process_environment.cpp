#include "cli/process_environment.h"
#include "cli/usage.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <iostream>

#include "link/port_by_name.h"
#include "link/tty_serial_port.h"
#include "platform/child_process.h"
#include "platform/console.h"
#include "platform/paths.h"
#include "platform/result_codes.h"

namespace rm7::cli {

const char* const kSimulateHelp = "Start the simulated radio on a pty and use it";
namespace {

int g_interruptPipe[2] = {-1, -1};

void OnInterruptSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_interruptPipe[1], &byte, 1);
}

// Reads what the handler wrote; the number of signals that came.
int DrainInterrupts() {
    int count = 0;
    char bytes[16];
    for (ssize_t n; (n = ::read(g_interruptPipe[0], bytes, sizeof bytes)) > 0;) {
        count += static_cast<int>(n);
    }
    return count;
}

}  // namespace

struct CPollLoop::Interrupts {
    struct sigaction oldInt {};
    struct sigaction oldTerm {};
    struct sigaction oldHup {};
};

struct CProcessEnvironment::Simulator {
    CChildProcess child;
};

CPollLoop::CPollLoop() : m_interrupts(std::make_unique<Interrupts>()) {}

CPollLoop::~CPollLoop() {
    Restore();
}

void CPollLoop::Deliver(int count) {
    for (; count > 0 && m_catching; --count) {
        // A copy: the handler may set another one or none.
        const std::function<void()> handler = m_onInterrupt;
        handler();
    }
}

void CPollLoop::CatchInterrupts(std::function<void()> onInterrupt) {
    if (!onInterrupt) {
        Restore();
        return;
    }
    m_onInterrupt = std::move(onInterrupt);
    if (m_catching) {
        return;
    }
    if (g_interruptPipe[0] < 0 && ::pipe2(g_interruptPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        g_interruptPipe[0] = g_interruptPipe[1] = -1;
        return;  // the signals keep their default: better than a program that cannot be stopped
    }
    struct sigaction action {};
    action.sa_handler = OnInterruptSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, &m_interrupts->oldInt);
    ::sigaction(SIGTERM, &action, &m_interrupts->oldTerm);
    // The terminal window closed or the remote session dropped: still a request to stop, so
    // the job ends its own way (transmission off, settings back) rather than being killed.
    ::sigaction(SIGHUP, &action, &m_interrupts->oldHup);
    m_catching = true;
    m_pump.WatchFd(g_interruptPipe[0], [this] { Deliver(DrainInterrupts()); });
}

void CPollLoop::Restore() {
    if (!m_catching) {
        return;
    }
    m_catching = false;
    m_pump.UnwatchFd(g_interruptPipe[0]);
    ::sigaction(SIGINT, &m_interrupts->oldInt, nullptr);
    ::sigaction(SIGTERM, &m_interrupts->oldTerm, nullptr);
    ::sigaction(SIGHUP, &m_interrupts->oldHup, nullptr);
    // One that came after the last look belongs to the job that has ended.
    DrainInterrupts();
    m_onInterrupt = nullptr;
}

CProcessEnvironment::CProcessEnvironment()
    : m_errIsTerminal(StderrIsTerminal()), m_simulator(std::make_unique<Simulator>()) {}

CProcessEnvironment::~CProcessEnvironment() = default;

std::ostream& CProcessEnvironment::Out() {
    return std::cout;
}

std::ostream& CProcessEnvironment::Err() {
    return std::cerr;
}

std::unique_ptr<ISerialPort> CProcessEnvironment::MakePort() {
    return MakeSerialPort(m_loop.Pump());
}

Result CProcessEnvironment::StartSimulator(const std::string& extraArgs, std::string& device) {
    return StartSimulatedRadio(m_simulator->child, {}, extraArgs, device);
}

Result CProcessEnvironment::MakeFirmware(const std::filesystem::path& dir) {
    return MakeSimulatedFirmware({}, dir);
}

}  // namespace rm7::cli
