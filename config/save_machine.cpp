#include "config/save_machine.h"

#include "config/file_classes.h"

#include <system_error>

#include "config/config_folder.h"
#include "platform/settings.h"

namespace rm7 {

void CConfigSavePicPromLoopBodyState::Init() {
    CReadPicPromState::Init();
    CConfigSaveStateMachine& machine = Host();
    const EepromRange& range = kConfigurationRanges[machine.LoopIndex()];
    SetTransfer(range.start, range.length, machine.Image().data() + range.start);
}

CConfigSaveStateMachine::CConfigSaveStateMachine(CRadioSession& session)
    : CProgressBarStateHost(session, kTimerId, kUnitsPerStep),
      m_loopInit(*this, "LoopInit", &m_findSpeed),
      m_findSpeed(*this, &m_textTerminalOff),
      m_textTerminalOff(*this, &m_loopTest),
      m_rangeRead(*this, &m_loopStep),
      m_loopStep(*this, "LoopStep", &m_loopTest),
      m_loopTest(*this, "LoopTest", &m_rangeRead, &FinalState()),
      m_image(std::make_unique<EepromImage>()) {
    m_image->fill(0xFF);
}

bool CConfigSaveStateMachine::StartSave() {
    if (!IsIdle()) {
        SetLastError(kErrBusyStateMachine);
        return false;
    }
    SetRange(static_cast<std::uint32_t>(kConfigurationByteCount));
    return Start(m_loopInit);
}

}  // namespace rm7
