#include "config/restore_machine.h"

#include "config/file_classes.h"

#include "config/save_machine.h"

namespace rm7 {

void CConfigRestorePicPromLoopBodyState::Init() {
    CWritePicPromState::Init();
    PageRun& run = Host().Runs()[Host().LoopIndex()];
    // A run's data is indexed by page offset: the area starts at its first byte.
    SetTransfer(run.Address(), run.Length(), run.data.data() + run.first);
}

CConfigRestoreStateMachine::CConfigRestoreStateMachine(CRadioSession& session)
    : CProgressBarStateHost(session, kTimerId, kUnitsPerStep),
      m_findSpeed(*this, &m_textTerminalOff),
      m_textTerminalOff(*this, &m_loopInit),
      m_loopInit(*this, "LoopInit", &m_loopTest),
      m_runWrite(*this, &m_loopStep),
      m_loopStep(*this, "LoopStep", &m_loopTest),
      m_loopTest(*this, "LoopTest", &m_runWrite, &m_reset),
      m_reset(*this, &FinalState()) {}

std::uint32_t CConfigRestoreStateMachine::TotalLength() const {
    std::uint32_t total = 0;
    for (const PageRun& run : m_runs) {
        total += run.Length();
    }
    return total;
}

bool CConfigRestoreStateMachine::StartRestore() {
    if (!IsIdle()) {
        SetLastError(kErrBusyStateMachine);
        return false;
    }
    SetRange(TotalLength());
    return Start(m_findSpeed);
}

}  // namespace rm7
