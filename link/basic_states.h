#pragma once
// The reusable states every machine is built from: waits, commands with optional, required and
// retried answers, loops, the processors' reset and the R5 command-mode states.
#include <cstdint>
#include <string>
#include <utility>

#include "link/state_machine.h"
#include "platform/text.h"

namespace rm7 {

template <typename T>
class CDelayState : public CState<T> {
  public:
    CDelayState(CStateHost<T>& host, const char* name, CState<T>* next, std::uint32_t delay)
        : CState<T>(host, name, next), m_delay(delay) {}
    void Run() override { this->m_host.ArmTimer(m_delay); }
    void OnTimer() override { this->Next(); }

  protected:
    std::uint32_t m_delay;
};

// A command followed by a fixed wait; no answer is read.
template <typename T>
class CCommandDelayState : public CDelayState<T> {
  public:
    CCommandDelayState(CStateHost<T>& host, const char* name, CState<T>* next, std::uint32_t delay, std::string command)
        : CDelayState<T>(host, name, next, delay), m_command(std::move(command)) {}

    void Run() override {
        if (!m_command.empty()) {
            Send();
        } else {
            this->Next();
        }
    }

    virtual void Send() {
        auto& host = this->m_host;
        if (host.HasFailed()) {
            this->Finish();
            return;
        }
        host.CurrentState().TraceSend(m_command);
        host.Transmit(m_command, this->m_delay);
    }

    void TraceSend(const std::string& command) override {
        this->m_host.TraceText("%s send %s", this->m_name, PrintableForm(command).c_str());
    }

    const std::string& Command() const { return m_command; }

  protected:
    std::string m_command;
};

// Sends, then accepts an answer or moves on without one.
template <typename T>
class CCommandOptionalResponseState : public CCommandDelayState<T> {
  public:
    CCommandOptionalResponseState(CStateHost<T>& host, const char* name, CState<T>* next, std::string command,
                                  std::uint32_t timeout)
        : CCommandDelayState<T>(host, name, next, timeout, command), m_baseCommand(command) {
        m_prefix = m_baseCommand;
        while (!m_prefix.empty() && m_prefix.back() == ';') {
            m_prefix.pop_back();
        }
    }

    void Init() override {
        this->m_host.SetTerminators(Terminators());
        this->m_command = m_baseCommand;
    }
    void OnResponse() override {
        this->m_host.KillTimer();
        OnValidResponse();
    }
    void OnTimer() override { this->Next(); }

    virtual void OnValidResponse() { OnSuccess(); }
    virtual std::string Terminators() const { return ";"; }
    virtual void OnSuccess() { this->Next(); }

  protected:
    // The answer begins with the command's name.
    bool HasPrefix(const std::string& answer) const { return StartsWithNoCase(answer, m_prefix); }
    bool HasPrefix() const { return HasPrefix(this->m_host.Response()); }

    std::string m_baseCommand;
    std::string m_prefix;
};

template <typename T>
class CCommandResponseState : public CCommandOptionalResponseState<T> {
  public:
    CCommandResponseState(CStateHost<T>& host, const char* name, CState<T>* next, Result error, std::string command,
                          std::uint32_t timeout)
        : CCommandOptionalResponseState<T>(host, name, next, std::move(command), timeout), m_error(error) {}
    void OnTimer() override { this->Fail(m_error); }

  protected:
    Result m_error;
};

template <typename T>
class CCommandResponseRetryState : public CCommandResponseState<T> {
  public:
    using CCommandResponseState<T>::CCommandResponseState;

    void Init() override {
        CCommandResponseState<T>::Init();
        m_sends = 0;
    }
    void OnTimer() override {
        ++m_sends;
        if (m_sends >= this->m_host.RetryLimit()) {
            this->Fail(this->m_error);
        } else {
            this->Send();
        }
    }

  protected:
    std::uint32_t m_sends = 0;
};

template <typename T>
class CTextTerminalOffState : public CCommandDelayState<T> {
  public:
    CTextTerminalOffState(CStateHost<T>& host, CState<T>* next)
        : CCommandDelayState<T>(host, "TextTerminalOff", next, 10, "TT0;") {}
};

// Reads the VFO A display and its basic icons ("DS;"); the answer begins with "DS".
template <typename T>
class CGetVfoADisplayState : public CCommandResponseRetryState<T> {
  public:
    CGetVfoADisplayState(CStateHost<T>& host, const char* name, CState<T>* next)
        : CCommandResponseRetryState<T>(host, name, next, kErrNoResponseDS, "DS;", 500) {}
    AnswerCheck CheckAnswer(const std::string& answer) override { return ValidIf(this->HasPrefix(answer)); }
};

// Leaves whatever menu entry is open on the radio.
template <typename T>
class CExitMenuState : public CCommandDelayState<T> {
  public:
    CExitMenuState(CStateHost<T>& host, const char* name, CState<T>* next)
        : CCommandDelayState<T>(host, name, next, 10, "MN255;") {}
};

// A loop: init -> test -> body ... -> step -> test. T offers LoopIndex() (a reference)
// and LoopCount().
template <typename T>
class CLoopInitState : public CState<T> {
  public:
    using CState<T>::CState;
    void Run() override {
        this->Host().LoopIndex() = 0;
        this->Next();
    }
};

template <typename T>
class CLoopStepState : public CState<T> {
  public:
    using CState<T>::CState;
    void Run() override {
        ++this->Host().LoopIndex();
        this->Next();
    }
};

template <typename T>
class CLoopTestState : public CState<T> {
  public:
    CLoopTestState(CStateHost<T>& host, const char* name, CState<T>* next, CState<T>* exit)
        : CState<T>(host, name, next), m_exit(exit) {}
    void Run() override {
        if (static_cast<std::uint32_t>(this->Host().LoopIndex()) <
            static_cast<std::uint32_t>(this->Host().LoopCount())) {
            this->Next();
        } else if (m_exit != nullptr) {
            this->m_host.GoTo(*m_exit);
        } else {
            this->Finish();
        }
    }
    void SetExit(CState<T>* exit) { m_exit = exit; }

  private:
    CState<T>* m_exit;
};

// "LDD20000;" restarts the radio's processors; then a wait for it to come back.
template <typename T>
class CResetMcuState : public CCommandDelayState<T> {
  public:
    static constexpr std::uint32_t kWaitMs = 8000;
    CResetMcuState(CStateHost<T>& host, CState<T>* next)
        : CCommandDelayState<T>(host, "ResetMcu", next, kWaitMs, "LDD20000;") {}
    void Run() override {
        if (this->m_host.HasFailed()) {
            this->Finish();  // a failed or cancelled job never resets the radio
            return;
        }
        this->m_host.StatusText("Waiting %u seconds for reset", kWaitMs / 1000);
        if constexpr (requires(T & host) { host.ShowWait(std::string(), 0u); }) {
            static_cast<T&>(this->m_host).ShowWait("Waiting for the radio to restart", kWaitMs / 1000);
        }
        CCommandDelayState<T>::Run();
    }
};

// The name traces have always shown for the state that asks for the R5 command mode.
inline constexpr const char* kR5ModeTraceName = "SetR5Hidden";

// Keep the radio's R5 command mode as the user had it. T offers SavedR5() (a reference).
template <typename T>
class CGetR5State : public CCommandResponseRetryState<T> {
  public:
    CGetR5State(CStateHost<T>& host, CState<T>* next)
        : CCommandResponseRetryState<T>(host, kR5ModeTraceName, next, kErrNoResponseR5, "R5;", 500) {}
    AnswerCheck CheckAnswer(const std::string& answer) override { return ValidIf(StartsWithNoCase(answer, "R5")); }
    void OnValidResponse() override {
        if (this->Host().SavedR5().empty()) {
            this->Host().SavedR5() = this->m_host.Response();
        }
        this->OnSuccess();
    }
};

// Stands where a machine would change the radio's R5 command mode, and sends nothing: the machines
// that use it leave the mode as the user had it, so nothing is saved, and the CRestoreR5State after
// it has nothing to put back. Entering it still sets up the answer terminators as CGetR5State does.
template <typename T>
class CLeaveR5ModeState : public CGetR5State<T> {
  public:
    using CGetR5State<T>::CGetR5State;
    void Init() override {
        CGetR5State<T>::Init();
        this->m_command.clear();
    }
};

template <typename T>
class CRestoreR5State : public CCommandResponseRetryState<T> {
  public:
    CRestoreR5State(CStateHost<T>& host, CState<T>* next)
        : CCommandResponseRetryState<T>(host, "RestoreR5", next, kErrNoResponseR5, "", 500) {}
    void Init() override {
        CCommandResponseRetryState<T>::Init();
        this->m_command = this->Host().SavedR5();
        if (!this->m_command.empty()) {
            this->m_command += "R5;";
        }
    }
    AnswerCheck CheckAnswer(const std::string& answer) override { return ValidIf(answer == this->Host().SavedR5()); }
};

}  // namespace rm7
