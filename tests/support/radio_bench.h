#pragma once
// The simulated-radio bench: a manual pump, the in-process simulated radio on the in-memory port
// (or a scripted port), the model and the session with the radio, all in virtual time. The
// session's completions reach `window`, what it says to the user reaches `notifier`.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "link/radio_session.h"
#include "platform/manual_pump.h"
#include "sim/memory_port.h"
#include "sim/radio.h"
#include "tests/support/recording_notifier.h"
#include "tests/support/recording_window.h"
#include "tests/support/scripted_port.h"

namespace rm7::test {

// Whether the bench runs the contact to its end before the test starts.
enum class BenchStart { Idle, Contacted };

class CRadioBench {
  public:
    // Each answer 2 ms late, so that a test can step in between two answers.
    static rm7sim::Options DefaultOptions();

    // On the in-process simulated radio; Contacted expects the contact to succeed.
    // The model keeps its settings in `settings` when one is given.
    explicit CRadioBench(BenchStart start = BenchStart::Idle, const rm7sim::Options& options = DefaultOptions(),
                         CSettingsStore* settings = nullptr);
    explicit CRadioBench(const rm7sim::Options& options) : CRadioBench(BenchStart::Idle, options) {}
    // On a scripted port; the test writes scriptedPort->script.
    struct OnScriptedPort {};
    explicit CRadioBench(OnScriptedPort);
    ~CRadioBench();
    CRadioBench(const CRadioBench&) = delete;
    CRadioBench& operator=(const CRadioBench&) = delete;

    // Opens the port and runs the contact to its end; its one completion, or 0xFFFFFFFF when
    // there was none within maxMs.
    Result Contact(std::uint32_t maxMs = 60000);

    // What the simulated radio received since the last contact.
    std::vector<std::string> JobCommands() const;
    std::string EepromText(std::uint32_t address, std::size_t length) const;
    void SetEeprom(std::uint32_t address, const std::string& bytes);

    CManualPump pump;
    CRecordingNotifier notifier;
    CRecordingWindow window;
    std::unique_ptr<rm7sim::Radio> radio;  // null on the scripted port
    CMemoryPort* memoryPort = nullptr;
    CScriptedPort* scriptedPort = nullptr;
    std::unique_ptr<CModel> model;
    std::unique_ptr<CRadioSession> session;
    CObservation observation;
    std::size_t contactCommands = 0;  // what the radio had received when the contact ended
};

}  // namespace rm7::test
