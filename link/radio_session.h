#pragma once
// CRadioSession: the session with the radio. It owns the open serial port and the contact
// machine, records the one other machine that is active, and routes timer ticks and serial
// notices to whichever machine is busy (the contact first, then the active machine, else the
// idle target: the selected page). What is known of the radio lives in the model; the
// session keeps it current (port state, speed, and a reset of what was known on close).
//
// Threads: UI thread only.
#include <cstdint>
#include <memory>
#include <string>

#include "model/model.h"
#include "platform/message_pump.h"
#include "platform/result.h"

namespace rm7 {

class ISerialPort;
class IStateMachine;
class CContactStateMachine;

class CRadioSession {
  public:
    CRadioSession(CModel& model, std::unique_ptr<ISerialPort> port);
    ~CRadioSession();
    CRadioSession(const CRadioSession&) = delete;
    CRadioSession& operator=(const CRadioSession&) = delete;

    CModel& Model() const { return m_model; }
    IMessagePump& Pump() const { return m_model.Pump(); }
    ISerialPort& Port() const { return *m_port; }
    CContactStateMachine& Contact() const { return *m_contact; }
    // Where timers are armed and serial notices arrive: it routes them to the busy machine.
    IMessageTarget* Router() { return &m_router; }
    // Receives timer ticks, serial notices and the notice of a lost port when no machine is
    // busy (the selected page).
    void SetIdleTarget(IMessageTarget* target) { m_idleTarget = target; }
    // The model's notifier, and the port's for its failure boxes.
    void SetNotifier(IUserNotifier* notifier);

    IStateMachine* ActiveMachine() const { return m_active; }
    void SetActiveMachine(IStateMachine* machine) { m_active = machine; }
    // The contact and the active machine are both idle.
    bool AllIdle() const;

    Result OpenSerialPort(const std::string& name);
    // Closes the port and forgets what was known of the radio.
    void ClosePort();
    // A speed outside the supported list is not applied; the model's observers are told
    // either way. A port that needs time to settle after a change is purged when the time
    // is up: SendText and WriteBytes wait for that (see SettleRemainingMs).
    void SetSerialSpeed(std::uint32_t bitsPerSecond);
    // Milliseconds until the port has settled after a speed change; 0 when it has.
    std::uint32_t SettleRemainingMs() const;
    Result PurgeReceive();
    // Bytes to the port; false with the thread's last error on failure.
    bool SendText(const std::string& text);
    bool WriteBytes(const void* bytes, std::size_t length);

  private:
    // Where timer ticks and serial notices go: the contact while it runs, else the busy active
    // machine; null when both are idle.
    IStateMachine* BusyMachine() const;

    class CRouter : public IMessageTarget {
      public:
        explicit CRouter(CRadioSession& session) : m_session(session) {}
        LResult OnMessage(std::uint32_t code, WParam wParam, LParam lParam) override;

      private:
        CRadioSession& m_session;
    };

    CModel& m_model;
    std::unique_ptr<ISerialPort> m_port;
    CRouter m_router;
    IMessageTarget* m_idleTarget = nullptr;
    IStateMachine* m_active = nullptr;
    std::uint32_t m_settledAt = 0;
    bool m_settling = false;
    std::unique_ptr<CContactStateMachine> m_contact;
};

}  // namespace rm7
