#pragma once
// Saving the radio's configuration: CConfigSaveStateMachine reads the seven configuration ranges
// of the EEPROM into an image (CConfigSaveJob, config/save_job.h, runs it; so does the compare).
//
// Threads: UI thread only, like every machine.
#include <cstdint>
#include <memory>

#include "link/basic_states.h"
#include "link/eeprom_transfer.h"
#include "link/find_radio_states.h"
#include "model/eeprom_map.h"

namespace rm7 {

class CSettingsStore;
class CConfigSaveStateMachine;

// Reads configuration range [loop index] into the machine's image.
class CConfigSavePicPromLoopBodyState : public CReadPicPromState<CConfigSaveStateMachine> {
  public:
    CConfigSavePicPromLoopBodyState(CStateHost<CConfigSaveStateMachine>& host, CState* next)
        : CReadPicPromState(host, "ConfigSavePicPromBody", next, 0, 0, nullptr) {}
    void Init() override;
};

class CConfigSaveStateMachine : public CProgressBarStateHost<CConfigSaveStateMachine> {
  public:
    static constexpr std::uint32_t kTimerId = kTimerConfigSave;
    static constexpr std::uint32_t kUnitsPerStep = 32;

    explicit CConfigSaveStateMachine(CRadioSession& session);

    // Resets the progress to 0 of 1562 and starts at loop init; false when already busy.
    bool StartSave();

    const EepromImage& Image() const { return *m_image; }
    EepromImage& Image() { return *m_image; }
    std::uint32_t& LoopIndex() { return m_loopIndex; }
    std::uint32_t LoopCount() const { return static_cast<std::uint32_t>(kConfigurationRanges.size()); }

    CLoopInitState<CConfigSaveStateMachine> m_loopInit;
    CFindSpeedState<CConfigSaveStateMachine> m_findSpeed;
    CTextTerminalOffState<CConfigSaveStateMachine> m_textTerminalOff;
    CConfigSavePicPromLoopBodyState m_rangeRead;
    CLoopStepState<CConfigSaveStateMachine> m_loopStep;
    CLoopTestState<CConfigSaveStateMachine> m_loopTest;

  private:
    std::uint32_t m_loopIndex = 0;
    std::unique_ptr<EepromImage> m_image;
};

}  // namespace rm7
