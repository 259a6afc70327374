#pragma once
// Restoring a saved configuration: CConfigRestoreStateMachine writes the page runs of a file that
// was read and checked completely, resets the radio's processor and hands over to the contact
// machine, which finds the radio again before the outcome is reported (CConfigRestoreJob,
// config/restore_job.h, runs it).
//
// Threads: UI thread only, like every machine.
#include <cstdint>
#include <string>
#include <vector>

#include "config/config_file.h"
#include "link/basic_states.h"
#include "link/eeprom_transfer.h"
#include "link/find_radio_states.h"

namespace rm7 {

class CSettingsStore;
class CConfigRestoreStateMachine;

// Writes page run [loop index] as one EEPROM area.
class CConfigRestorePicPromLoopBodyState : public CWritePicPromState<CConfigRestoreStateMachine> {
  public:
    CConfigRestorePicPromLoopBodyState(CStateHost<CConfigRestoreStateMachine>& host, CState* next)
        : CWritePicPromState(host, "ConfigRestorePicPromBody", next, 0, 0, nullptr) {}
    void Init() override;
};

class CConfigRestoreStateMachine : public CProgressBarStateHost<CConfigRestoreStateMachine> {
  public:
    static constexpr std::uint32_t kTimerId = kTimerConfigRestore;
    static constexpr std::uint32_t kUnitsPerStep = 32;

    explicit CConfigRestoreStateMachine(CRadioSession& session);

    // The bytes to write, from a file read without error.
    void SetRuns(std::vector<PageRun> runs) { m_runs = std::move(runs); }
    const std::vector<PageRun>& Runs() const { return m_runs; }
    std::vector<PageRun>& Runs() { return m_runs; }
    std::uint32_t TotalLength() const;
    // Resets the progress to 0 of the total run length and starts at the speed search; false
    // when already busy.
    bool StartRestore();

    // Ends through ResumeContact: a success is reported only once the contact machine has found
    // the radio again after its reset.
    void OnComplete() override { ResumeContact(); }

    std::uint32_t& LoopIndex() { return m_loopIndex; }
    std::uint32_t LoopCount() const { return static_cast<std::uint32_t>(m_runs.size()); }

    CFindSpeedState<CConfigRestoreStateMachine> m_findSpeed;
    CTextTerminalOffState<CConfigRestoreStateMachine> m_textTerminalOff;
    CLoopInitState<CConfigRestoreStateMachine> m_loopInit;
    CConfigRestorePicPromLoopBodyState m_runWrite;
    CLoopStepState<CConfigRestoreStateMachine> m_loopStep;
    CLoopTestState<CConfigRestoreStateMachine> m_loopTest;
    CResetMcuState<CConfigRestoreStateMachine> m_reset;

  private:
    std::vector<PageRun> m_runs;
    std::uint32_t m_loopIndex = 0;
};

}  // namespace rm7
