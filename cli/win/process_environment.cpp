// rm7util's environment on Windows: the console's Ctrl+C, COM ports, and for --simulate the
// simulated radio inside this process over the in-memory port (Windows has no pty to put it on).
#include "cli/process_environment.h"
#include "cli/usage.h"

#include <windows.h>

#include <atomic>
#include <iostream>
#include <string>
#include <vector>

#include "link/port_by_name.h"
#include "link/tty_serial_port.h"
#include "model/messages.h"
#include "platform/console.h"
#include "platform/result_codes.h"
#include "platform/text.h"
#include "sim/command_line.h"
#include "sim/make_firmware.h"
#include "sim/memory_port.h"
#include "sim/radio.h"

namespace rm7::cli {

const char* const kSimulateHelp = "Start the simulated radio inside rm7util (on the in-memory port) and use it";

namespace {

// The name the simulated radio answers on, as a device path would be.
constexpr const char* kSimulatedPort = "simulated";

// The loop catching interrupts now; the console calls its handler on a thread of its own.
std::atomic<CPollLoop*> g_catching{nullptr};

}  // namespace

struct CPollLoop::Interrupts final : IMessageTarget {
    explicit Interrupts(CPollLoop& loop) : loop(loop) {}
    LResult OnMessage(std::uint32_t code, WParam, LParam) override {
        if (code == kMsgConsoleInterrupt) {
            loop.Deliver(1);
        }
        return 0;
    }
    static BOOL WINAPI OnControl(DWORD type) {
        CPollLoop* loop = g_catching.load();
        if (loop == nullptr) {
            return FALSE;
        }
        // Ctrl+C, Ctrl+Break and a closed console window: a request to stop, handled by the job.
        if (type == CTRL_C_EVENT || type == CTRL_BREAK_EVENT || type == CTRL_CLOSE_EVENT) {
            loop->m_pump.Post(loop->m_interrupts.get(), kMsgConsoleInterrupt);
            return TRUE;
        }
        return FALSE;
    }
    CPollLoop& loop;
};

CPollLoop::CPollLoop() : m_interrupts(std::make_unique<Interrupts>(*this)) {}

CPollLoop::~CPollLoop() {
    Restore();
    m_pump.Forget(m_interrupts.get());
}

void CPollLoop::Deliver(int count) {
    for (; count > 0 && m_catching; --count) {
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
    g_catching.store(this);
    if (!::SetConsoleCtrlHandler(&Interrupts::OnControl, TRUE)) {
        g_catching.store(nullptr);
        return;  // Ctrl+C keeps its default: better than a program that cannot be stopped
    }
    m_catching = true;
}

void CPollLoop::Restore() {
    if (!m_catching) {
        return;
    }
    m_catching = false;
    ::SetConsoleCtrlHandler(&Interrupts::OnControl, FALSE);
    g_catching.store(nullptr);
    // One that came after the last look belongs to the job that has ended.
    m_pump.Forget(m_interrupts.get());
    m_onInterrupt = nullptr;
}

struct CProcessEnvironment::Simulator {
    std::unique_ptr<rm7sim::Radio> radio;
};

namespace {

// The session's port: a COM port or a network port, or the simulated radio once --simulate has started it.
class CProcessPort final : public ISerialPort {
  public:
    CProcessPort(IMessagePump& pump, std::unique_ptr<rm7sim::Radio>& radio) : m_pump(pump), m_radio(radio) {}

    Result Open(const std::string& name) override {
        if (IsOpen()) {
            return kOk;
        }
        if (name == kSimulatedPort && m_radio) {
            if (!m_memory) {
                m_memory = std::make_unique<CMemoryPort>(m_pump, *m_radio);
                m_memory->SetNotificationTarget(m_target);
                m_memory->SetNotifier(m_notifier);
            }
            m_active = m_memory.get();
        } else {
            m_active = &m_serial;
        }
        return m_active->Open(name);
    }
    void Close() override { m_active->Close(); }
    bool IsOpen() const override { return m_active->IsOpen(); }
    bool Write(const void* bytes, std::size_t length) override { return m_active->Write(bytes, length); }
    bool Read(void* buffer, std::size_t length, std::size_t& count) override {
        return m_active->Read(buffer, length, count);
    }
    Result PurgeReceive() override { return m_active->PurgeReceive(); }
    Result SetSpeed(std::uint32_t bitsPerSecond) override { return m_active->SetSpeed(bitsPerSecond); }
    std::uint32_t Speed() const override { return m_active->Speed(); }
    const std::string& Name() const override { return m_active->Name(); }
    std::uint32_t SettleMs() const override { return m_active->SettleMs(); }
    void SetNotificationTarget(IMessageTarget* target) override {
        m_target = target;
        m_serial.SetNotificationTarget(target);
        if (m_memory) {
            m_memory->SetNotificationTarget(target);
        }
    }
    void SetNotifier(IUserNotifier* notifier) override {
        m_notifier = notifier;
        m_serial.SetNotifier(notifier);
        if (m_memory) {
            m_memory->SetNotifier(notifier);
        }
    }

  private:
    IMessagePump& m_pump;
    std::unique_ptr<rm7sim::Radio>& m_radio;
    CPortByName m_serial{m_pump};
    std::unique_ptr<CMemoryPort> m_memory;
    ISerialPort* m_active = &m_serial;
    IMessageTarget* m_target = nullptr;
    IUserNotifier* m_notifier = nullptr;
};

}  // namespace

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
    return std::make_unique<CProcessPort>(m_loop.Pump(), m_simulator->radio);
}

Result CProcessEnvironment::StartSimulator(const std::string& extraArgs, std::string& device) {
    std::vector<std::string> words;
    std::string error;
    if (!SplitShellWords(extraArgs, words, error)) {
        std::cerr << "rm7util: --sim-args: " << error << "\n";
        return kErrorInvalidData;
    }
    std::vector<std::string> storage{"rm7-sim"};
    storage.insert(storage.end(), words.begin(), words.end());
    std::vector<char*> argv;
    for (std::string& word : storage) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    rm7sim::CommandLine commandLine;
    if (rm7sim::ParseCommandLine(static_cast<int>(storage.size()), argv.data(), commandLine)) {
        return kErrorInvalidParameter;  // said on standard error by the parser
    }
    // The radio's clock starts at the computer's time now and runs on the pump's.
    commandLine.options.clockEpochMs = WallClockMs() - m_loop.Pump().TickCount();
    auto radio = std::make_unique<rm7sim::Radio>(commandLine.options);
    if (!radio->Error().empty()) {
        std::cerr << "rm7util: the simulated radio: " << radio->Error() << "\n";
        return kErrorInvalidData;
    }
    m_simulator->radio = std::move(radio);
    device = kSimulatedPort;
    return kOk;
}

Result CProcessEnvironment::MakeFirmware(const std::filesystem::path& dir) {
    std::string error;
    return rm7sim::MakeFirmware(dir.string(), error) ? kOk : kErrorWriteFault;
}

}  // namespace rm7::cli
