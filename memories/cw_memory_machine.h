#pragma once
// The six CW memories: CCWMemoryStateMachine reads all of them (and writes back those whose
// pending text differs from the value read).
//
// Threads: UI thread only, like every machine.
#include <cstdint>
#include <string>

#include "link/basic_states.h"
#include "link/eeprom_transfer.h"
#include "memories/cw_code.h"
#include "memories/editable_value.h"
#include "model/messages.h"

namespace rm7 {

class CCWMemoryStateMachine;

// Reads memory [loop index] from its top in chunks of 16 bytes until the end of its text.
class CReadCWMemoryState final : public CReadPicPromState<CCWMemoryStateMachine> {
  public:
    CReadCWMemoryState(CStateHost<CCWMemoryStateMachine>& host, CState* next)
        : CReadPicPromState(host, "ReadCWMemory", next, 0, 0, nullptr) {}
    void Init() override;

  protected:
    void OnTransferComplete() override;

  private:
    void SetChunk();
    std::uint32_t m_countRead = 0;
    std::uint32_t m_chunk = 0;
};

// Writes memory [loop index] when its pending text differs from its value.
class CWriteCWMemoryState final : public CWritePicPromState<CCWMemoryStateMachine> {
  public:
    CWriteCWMemoryState(CStateHost<CCWMemoryStateMachine>& host, CState* next)
        : CWritePicPromState(host, "WriteCWMemory", next, 0, 0, nullptr) {}
    void Run() override;
    void OnAllWritten() override;
};

class CCWMemoryStateMachine final : public CStateHost<CCWMemoryStateMachine> {
  public:
    static constexpr std::uint32_t kTimerId = kTimerCwMemory;

    explicit CCWMemoryStateMachine(CRadioSession& session);

    // False (last error 0xE2000052) when busy.
    bool StartRead() { return Start(m_textTerminalOff); }
    bool StartWrite() { return Start(m_writeInit); }

    std::uint32_t& LoopIndex() { return m_loopIndex; }
    std::uint32_t LoopCount() const { return kCwMemoryCount; }
    std::string& SavedR5() { return m_savedR5; }
    CwArea& Buffer() { return m_buffer; }

    // The texts as last read or written; the pending copies are the edited texts.
    CEditableValue<std::string, kCwMemoryCount> texts;

    CTextTerminalOffState<CCWMemoryStateMachine> m_textTerminalOff;
    CLoopInitState<CCWMemoryStateMachine> m_readInit;
    CLeaveR5ModeState<CCWMemoryStateMachine> m_readMode;
    CLoopTestState<CCWMemoryStateMachine> m_readTest;
    CReadCWMemoryState m_readMemory;
    CLoopStepState<CCWMemoryStateMachine> m_readStep;
    CLoopInitState<CCWMemoryStateMachine> m_writeInit;
    CLeaveR5ModeState<CCWMemoryStateMachine> m_writeMode;
    CLoopTestState<CCWMemoryStateMachine> m_writeTest;
    CWriteCWMemoryState m_writeMemory;
    CLoopStepState<CCWMemoryStateMachine> m_writeStep;
    CRestoreR5State<CCWMemoryStateMachine> m_restoreMode;

  private:
    std::uint32_t m_loopIndex = 0;
    std::string m_savedR5;
    CwArea m_buffer{};
};

}  // namespace rm7
