#pragma once
// A port for framework tests: records every write with its time and answers through a
// script, so each test states exactly what the radio says and when it stays silent.
#include <functional>
#include <string>
#include <vector>

#include "link/radio_session.h"
#include "link/serial_port.h"
#include "model/messages.h"
#include "model/model.h"
#include "platform/last_error.h"
#include "platform/manual_pump.h"
#include "platform/result_codes.h"
#include "tests/support/recording_notifier.h"
#include "tests/support/recording_window.h"

#include <gtest/gtest.h>
#include <memory>

namespace rm7::test {

struct Sent {
    std::uint32_t tick;
    std::uint32_t speed;
    std::string text;
};

class CScriptedPort final : public ISerialPort {
  public:
    explicit CScriptedPort(IMessagePump& pump) : m_pump(pump) {}

    // Returns the answer to a write ("" for none); it arrives at once.
    std::function<std::string(const std::string& written, std::uint32_t speed)> script;

    Result Open(const std::string& name) override {
        if (m_open) {
            return kOk;
        }
        m_name = name;
        if (openResult != kOk) {
            return openResult;
        }
        m_open = true;
        m_speed = 38400;
        return kOk;
    }
    void Close() override {
        m_open = false;
        m_rx.clear();
    }
    bool IsOpen() const override { return m_open; }
    bool Write(const void* bytes, std::size_t length) override {
        if (!m_open) {
            SetLastError(kErrorInvalidHandle);
            return false;
        }
        if (writeError != kOk) {
            SetLastError(writeError);
            return false;
        }
        std::string text(static_cast<const char*>(bytes), length);
        sent.push_back({m_pump.TickCount(), m_speed, text});
        if (script) {
            Inject(script(text, m_speed));
        }
        return true;
    }
    bool Read(void* buffer, std::size_t length, std::size_t& count) override {
        count = 0;
        if (!m_open) {
            SetLastError(kErrorInvalidHandle);
            return false;
        }
        while (count < length && !m_rx.empty()) {
            static_cast<char*>(buffer)[count++] = m_rx.front();
            m_rx.erase(m_rx.begin());
        }
        // As the real ports: bytes left behind get a notice of their own.
        if (!m_rx.empty()) {
            m_pump.Post(m_target, kMsgSerialNotice, 0, 0);
        }
        return true;
    }
    Result PurgeReceive() override {
        if (!m_open) {
            return kErrorInvalidHandle;
        }
        m_rx.clear();
        return kOk;
    }
    Result SetSpeed(std::uint32_t bps) override {
        m_speed = bps;
        return kOk;
    }
    std::uint32_t Speed() const override { return m_speed; }
    const std::string& Name() const override { return m_name; }
    std::uint32_t SettleMs() const override { return settleMs; }
    void SetNotificationTarget(IMessageTarget* target) override { m_target = target; }
    void SetNotifier(IUserNotifier*) override {}

    // The device goes away, as an unplugged adapter does: the port closes, and its listener
    // tells the session by a notice that arrives later.
    void Vanish() {
        m_open = false;
        m_rx.clear();
        m_pump.Post(m_target, kMsgPortLost, kErrPortGone, 0);
    }

    // Bytes arriving from the radio now.
    void Inject(const std::string& bytes) {
        if (bytes.empty()) {
            return;
        }
        m_rx += bytes;
        m_pump.Post(m_target, kMsgSerialNotice, 0, 0);
    }
    std::vector<std::string> SentTexts() const {
        std::vector<std::string> out;
        for (const Sent& s : sent) {
            out.push_back(s.text);
        }
        return out;
    }

    std::vector<Sent> sent;
    std::uint32_t settleMs = 0;  // how long the port needs after a speed change
    Result openResult = kOk;
    Result writeError = kOk;
    std::string m_rx;

  private:
    IMessagePump& m_pump;
    IMessageTarget* m_target = nullptr;
    std::string m_name;
    bool m_open = false;
    std::uint32_t m_speed = 38400;
};

// A model on an open scripted port with a machine of type M as its active machine; the
// window records the machine's log lines and completions.
template <typename M>
class CScriptedMachineTest : public ::testing::Test {
  protected:
    CScriptedMachineTest() {
        auto owned = std::make_unique<CScriptedPort>(pump);
        port = owned.get();
        model = std::make_unique<CModel>(pump, nullptr, &notifier);
        session = std::make_unique<CRadioSession>(*model, std::move(owned));
        model->portName.Set("/dev/ttyTEST");
        session->OpenSerialPort("/dev/ttyTEST");
        observation = CObservation(model->portEvent, &window);
        machine = std::make_unique<M>(*session);
        machine->SetLogTarget(&window);
        session->SetActiveMachine(machine.get());
    }

    CManualPump pump;
    CScriptedPort* port = nullptr;
    CRecordingNotifier notifier;
    CRecordingWindow window;
    std::unique_ptr<CModel> model;
    std::unique_ptr<CRadioSession> session;
    CObservation observation;
    std::unique_ptr<M> machine;
};

}  // namespace rm7::test
