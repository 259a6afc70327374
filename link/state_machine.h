#pragma once
// The state-machine framework every conversation with the radio runs on.
//
// A machine T derives from CStateHost<T> and owns its states as members, each a CState<T>
// linked to its successor. It advances only on two events routed to it by the session with
// the radio: its timer (T::kTimerId, from link/timer_ids.h) and the serial notice. Everything
// runs on the UI thread; a state sends its command and returns, and the answer or the time-out
// arrives later.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "link/radio_session.h"
#include "link/serial_port.h"
#include "link/timer_ids.h"
#include "model/messages.h"
#include "model/model.h"
#include "platform/format.h"
#include "platform/last_error.h"
#include "platform/result_codes.h"
#include "platform/text.h"
#include "platform/transfer_meter.h"

namespace rm7 {

class IStateMachine {
  public:
    virtual bool IsIdle() const = 0;
    virtual LResult OnSerialEvent(std::uint32_t message, WParam wParam, LParam lParam) = 0;
    virtual LResult OnTimer(std::uint32_t message, WParam wParam, LParam lParam) = 0;
    // Asks a running machine to stop at its next step; false when a failure is already on its way.
    virtual bool Cancel() = 0;
    // The port closed itself because its device went away: a busy machine ends now with `why`,
    // whatever its state is waiting for; an idle one is left alone.
    virtual void OnPortLost(Result why) = 0;

  protected:
    ~IStateMachine() = default;
};

// wParam of a kMsgLogLine written only while tracing; other lines carry 0.
inline constexpr WParam kLogLineTrace = 1;

// What a state makes of the bytes read up to a terminator. The one place an answer is judged:
// the framework reads, the state's CheckAnswer decides, and only a valid answer reaches
// OnResponse.
enum class AnswerCheck {
    kNeedMore,  // the answer goes on past this terminator (one read by its length)
    kInvalid,   // not this state's answer: dropped, and the wait goes on
    kValid,
};

inline AnswerCheck ValidIf(bool valid) {
    return valid ? AnswerCheck::kValid : AnswerCheck::kInvalid;
}

// An answer that never ends (noise, a runaway device) is dropped at this length.
inline constexpr std::size_t kAnswerLimit = 4096;

// Where a progress bar shows a machine's position; the view implements it.
class IProgressBar {
  public:
    virtual void SetRange(std::uint32_t steps) = 0;
    virtual void SetPosition(std::uint32_t step) = 0;
    // Bytes, rate and time left as the core measures them; a bar without a place for it ignores it.
    virtual void ShowTransfer(const std::string& meterText) { (void)meterText; }
    // A known wait begins (the reset, the flash erase): step and its length, for a countdown.
    virtual void ShowWait(const std::string& step, std::uint32_t seconds) {
        (void)step;
        (void)seconds;
    }

  protected:
    ~IProgressBar() = default;
};

// What every machine has whatever its states: its result, its one timer, its log, the answer
// being read, and the one way its states send to the radio.
class CStateMachineBase {
  public:
    CStateMachineBase(CRadioSession& session, std::uint32_t timerId) : m_session(session), m_timerId(timerId) {}
    virtual ~CStateMachineBase();
    CStateMachineBase(const CStateMachineBase&) = delete;
    CStateMachineBase& operator=(const CStateMachineBase&) = delete;

    virtual void Log(const std::string& text);
    virtual void OnComplete();
    virtual void ResumeContact();
    virtual void Progress(std::uint32_t units) { (void)units; }

    CModel& Model() const { return m_session.Model(); }
    CRadioSession& Session() const { return m_session; }
    std::uint32_t TimerId() const { return m_timerId; }
    Result GetResult() const { return m_result; }
    void SetResult(Result r) { m_result = r; }
    bool HasFailed() const { return Failed(m_result); }
    // Asks a running machine to stop at its next step with "cancelled"; a failure already on its
    // way keeps its own code (false then).
    bool Cancel() {
        if (HasFailed()) {
            return false;
        }
        m_result = kErrorCancelled;
        return true;
    }
    std::uint32_t RetryLimit() const { return m_retryLimit; }
    void SetRetryLimit(std::uint32_t limit) { m_retryLimit = limit; }
    FirmwareStatusEnum FirmwareStatus() const { return m_firmwareStatus; }
    void SetFirmwareStatus(FirmwareStatusEnum s) { m_firmwareStatus = s; }
    void SetLogTarget(IMessageTarget* target) { m_logTarget = target; }
    std::string& Response() { return m_response; }
    void SetTerminators(std::string t) { m_terminators = std::move(t); }
    const std::string& Terminators() const { return m_terminators; }

    // The machine's one wait: arms its timer and records when the wait began.
    void ArmTimer(std::uint32_t ms);
    void KillTimer();
    std::uint32_t ElapsedMs() const { return Model().Pump().TickCount() - m_waitStart; }

    // The one way a state sends: clears the answer read so far, drops what the radio sent
    // before (a late answer to an earlier command must not pass for this one's), writes, and
    // arms the wait for the answer. Right after a speed change the write waits until the port
    // has settled. A failed write ends the machine with the port's error, never with success,
    // and returns false.
    bool Transmit(const void* bytes, std::size_t length, std::uint32_t timeoutMs) {
        return Transmit(std::vector<std::string>{std::string(static_cast<const char*>(bytes), length)}, timeoutMs);
    }
    bool Transmit(const std::string& text, std::uint32_t timeoutMs) {
        return Transmit(std::vector<std::string>{text}, timeoutMs);
    }
    // Parts that go out as separate writes, back to back, before the one wait.
    bool Transmit(std::vector<std::string> parts, std::uint32_t timeoutMs);

    // Log line and status bar.
    [[gnu::format(gnu_printf, 2, 3)]] void StatusText(const char* format, ...);
    // Log line, only while tracing.
    [[gnu::format(gnu_printf, 2, 3)]] void TraceText(const char* format, ...);
    bool Tracing() const { return Model().trace.Get() != 0; }
    // Lines a radio owner has no use for (values, counts of fill bytes) are written only then.
    bool VerboseLogging() const { return Model().verboseLogging.Get() != 0 || Tracing(); }

  protected:
    // Tells the model's completion observers.
    void NotifyCompletion();
    // Reads received bytes into the response until a terminator or no more bytes.
    bool ReadResponse();
    // Restarts the contact machine at its speed search, after a load or a restore.
    virtual void RestartContact();
    // Ends the machine with a failure (its final state runs).
    virtual void EndWithFailure(Result r) = 0;
    // A write held back while the port settles goes out when the wait ends; true when the
    // timer tick was that.
    bool SendHeldWrite();
    bool HoldingWrite() const { return m_holding; }
    void DropHeldWrite() { m_holding = false; }

    Result m_result = 0;
    std::uint32_t m_retryLimit = 8;
    std::uint32_t m_waitStart = 0;
    FirmwareStatusEnum m_firmwareStatus = kFirmwareNone;
    IMessageTarget* m_logTarget = nullptr;
    std::string m_response;
    std::string m_terminators = ";";

  private:
    bool WriteNow(std::uint32_t timeoutMs);

    CRadioSession& m_session;
    std::uint32_t m_timerId;
    std::vector<std::string> m_heldWrite;
    std::uint32_t m_heldTimeoutMs = 0;
    bool m_holding = false;
};

template <typename T>
class CStateHost;

template <typename T>
class CState {
  public:
    CState(CStateHost<T>& host, const char* name, CState* next) : m_host(host), m_name(name), m_next(next) {}
    virtual ~CState() = default;
    CState(const CState&) = delete;
    CState& operator=(const CState&) = delete;

    virtual void Next() {
        if (m_next != nullptr) {
            m_host.GoTo(*m_next);
        }
    }
    virtual void Finish() { m_host.GoTo(m_host.FinalState()); }
    virtual void Done(Result code) {
        if (!m_host.HasFailed()) {
            m_host.SetResult(code);
        }
        if (m_next != nullptr && m_host.GetResult() == 0) {
            m_host.GoTo(*m_next);
        } else {
            Finish();
        }
    }
    virtual AnswerCheck CheckAnswer(const std::string& answer) {
        (void)answer;
        return AnswerCheck::kValid;
    }
    // A valid answer, in the host's Response().
    virtual void OnResponse() {}
    virtual void Run() = 0;
    virtual void Init() {}
    virtual void OnTimer() {}
    virtual void TraceSend(const std::string& command) { (void)command; }
    virtual void Fail(Result code) {
        m_host.SetResult(code);
        Finish();
    }

    const char* Name() const { return m_name; }
    CState* NextState() const { return m_next; }
    void SetNext(CState* next) { m_next = next; }

  protected:
    T& Host() const { return static_cast<T&>(m_host); }
    CModel& Model() const { return m_host.Model(); }
    CRadioSession& Session() const { return m_host.Session(); }

    CStateHost<T>& m_host;
    const char* m_name;
    CState* m_next;
};

template <typename T>
class CFinalState final : public CState<T> {
  public:
    explicit CFinalState(CStateHost<T>& host) : CState<T>(host, "Final", nullptr) {}
    void Run() override {
        // A wait may still be armed when a run ends on an answer or a failure.
        this->m_host.KillTimer();
        this->m_host.OnComplete();
    }
};

template <typename T>
class CStateHost : public CStateMachineBase, public IStateMachine {
  public:
    CStateHost(CRadioSession& session, std::uint32_t timerId)
        : CStateMachineBase(session, timerId), m_final(*this), m_current(&m_final) {}

    bool IsIdle() const override { return m_current == &m_final; }
    bool Cancel() override { return CStateMachineBase::Cancel(); }

    LResult OnTimer(std::uint32_t message, WParam wParam, LParam lParam) override {
        (void)message;
        (void)lParam;
        if (wParam != TimerId()) {
            return 0;
        }
        KillTimer();
        if (SendHeldWrite()) {
            return 0;
        }
        if (Tracing() && Model().Pump().TickCount() != m_waitStart) {
            TraceText("%s elapsed %3u ms", m_current->Name(), ElapsedMs());
        }
        m_current->OnTimer();
        return 0;
    }

    LResult OnSerialEvent(std::uint32_t message, WParam wParam, LParam lParam) override {
        (void)message;
        (void)wParam;
        (void)lParam;
        if (HoldingWrite()) {
            // Noise while the port settles; the held write purges it anyway.
            Session().PurgeReceive();
            return 0;
        }
        if (!ReadResponse()) {
            return 0;
        }
        if (m_response.empty() || m_terminators.find(m_response.back()) == std::string::npos) {
            return 0;
        }
        const AnswerCheck check = m_current->CheckAnswer(m_response);
        if (check == AnswerCheck::kNeedMore && m_response.size() < kAnswerLimit) {
            return 0;
        }
        if (Tracing()) {
            TraceText("%s response %s %3u ms", m_current->Name(), PrintableForm(m_response).c_str(), ElapsedMs());
        }
        if (check == AnswerCheck::kValid) {
            m_current->OnResponse();
        }
        m_response.clear();
        return 0;
    }

    void OnPortLost(Result why) override {
        if (IsIdle()) {
            return;
        }
        // No state is asked: a wait for the radio (a reset's 8 s) has nothing left to wait for.
        DropHeldWrite();
        EndWithFailure(why);
    }

    // Refused while busy: the running job keeps its state and its result.
    bool Start(CState<T>& state) {
        if (!IsIdle()) {
            SetLastError(kErrBusyStateMachine);
            return false;
        }
        ForceStart(state);
        return true;
    }

    // Starts without the busy check: a run in progress is taken over.
    void ForceStart(CState<T>& state) {
        m_firmwareStatus = Model().firmwareStatus.Get();
        m_result = 0;
        SetLastError(0);
        m_response.clear();
        GoTo(state);
    }

    void GoTo(CState<T>& state) {
        m_current = &state;
        state.Init();
        m_current->Run();
    }

    CState<T>& FinalState() { return m_final; }
    void EndWithFailure(Result r) override {
        SetResult(r);
        GoTo(m_final);
    }
    CState<T>& CurrentState() const { return *m_current; }

  private:
    CFinalState<T> m_final;
    CState<T>* m_current;
};

template <typename T>
class CProgressBarStateHost : public CStateHost<T> {
  public:
    CProgressBarStateHost(CRadioSession& session, std::uint32_t timerId, std::uint32_t unitsPerStep = 1)
        : CStateHost<T>(session, timerId), m_unitsPerStep(unitsPerStep == 0 ? 1 : unitsPerStep) {}

    void SetProgressBar(IProgressBar* bar) { m_bar = bar; }
    void SetRange(std::uint32_t total) {
        m_position = 0;
        m_total = total;
        m_meter = CTransferMeter{};
        if (m_bar != nullptr) {
            m_bar->SetPosition(0);
            m_bar->SetRange(total / m_unitsPerStep);
        }
    }
    void Progress(std::uint32_t units) override {
        m_position = std::min(m_position + units, m_total);
        m_meter.Update(m_position, m_total, this->Model().Pump().TickCount());
        if (m_bar != nullptr) {
            m_bar->SetPosition(m_position / m_unitsPerStep);
            m_bar->ShowTransfer(m_meter.Text());
        }
    }
    std::uint32_t Position() const { return m_position; }
    std::uint32_t Total() const { return m_total; }
    double Rate() const { return m_meter.Rate(); }
    void ShowWait(const std::string& step, std::uint32_t seconds) {
        if (m_bar != nullptr) {
            m_bar->ShowWait(step, seconds);
        }
    }

  private:
    std::uint32_t m_unitsPerStep;
    std::uint32_t m_position = 0;
    std::uint32_t m_total = 0;
    CTransferMeter m_meter;
    IProgressBar* m_bar = nullptr;
};

template <typename T>
class CLoaderStateHost : public CProgressBarStateHost<T> {
  public:
    using CProgressBarStateHost<T>::CProgressBarStateHost;
    void OnComplete() override { this->ResumeContact(); }
};

}  // namespace rm7
