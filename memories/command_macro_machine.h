#pragma once
// CCommandMacroStateMachine: reads and writes macros 1 to 8 in the radio's EEPROM (their slots
// and fields: memories/command_macro.h).
//
// Threads: UI thread only, like every machine.
#include <array>
#include <cstdint>
#include <string>

#include "link/basic_states.h"
#include "link/eeprom_transfer.h"
#include "memories/command_macro.h"

namespace rm7 {

class CCommandMacroStateMachine;

// Reads one field of macro [loop index] and stores its text with Set.
class CReadCommandMacroState final : public CReadPicPromState<CCommandMacroStateMachine> {
  public:
    CReadCommandMacroState(CStateHost<CCommandMacroStateMachine>& host, const char* name, CState* next,
                           MacroField field)
        : CReadPicPromState(host, name, next, 0, 0, nullptr), m_field(field) {}
    void Init() override;

  protected:
    void OnTransferComplete() override;

  private:
    MacroField m_field;
    std::array<std::uint8_t, kMacroTextSize + 1> m_buffer{};
};

// Writes one field of macro [loop index], tidied, and stores the tidied text with Set.
class CWriteCommandMacroState final : public CWritePicPromState<CCommandMacroStateMachine> {
  public:
    CWriteCommandMacroState(CStateHost<CCommandMacroStateMachine>& host, const char* name, CState* next,
                            MacroField field)
        : CWritePicPromState(host, name, next, 0, 0, nullptr), m_field(field) {}
    void Init() override;

  private:
    MacroField m_field;
    std::array<std::uint8_t, kMacroTextSize + 1> m_buffer{};
};

class CCommandMacroStateMachine final : public CStateHost<CCommandMacroStateMachine> {
  public:
    static constexpr std::uint32_t kTimerId = kTimerCommandMacro;

    CCommandMacroStateMachine(CRadioSession& session, MacroLabels& labels, MacroTexts& texts);

    // False (last error 0xE2000052) when busy.
    bool StartRead() { return Start(m_textTerminalOff); }
    // Also false, with kErrMacroTooLong or kErrMacroCharacter as the last error and nothing sent,
    // when a macro of 1 to 8 cannot be stored.
    bool StartWrite();

    std::uint32_t& LoopIndex() { return m_loopIndex; }
    std::uint32_t LoopCount() const { return kRadioMacroCount; }
    std::string& SavedR5() { return m_savedR5; }
    MacroLabels& Labels() { return m_labels; }
    MacroTexts& Texts() { return m_texts; }

  private:
    MacroLabels& m_labels;
    MacroTexts& m_texts;
    std::uint32_t m_loopIndex = 0;
    std::string m_savedR5;

  public:
    CTextTerminalOffState<CCommandMacroStateMachine> m_textTerminalOff;
    CLeaveR5ModeState<CCommandMacroStateMachine> m_readMode;
    CLoopInitState<CCommandMacroStateMachine> m_readInit;
    CLoopTestState<CCommandMacroStateMachine> m_readTest;
    CReadCommandMacroState m_readCaption;
    CReadCommandMacroState m_readText;
    CLoopStepState<CCommandMacroStateMachine> m_readStep;
    CLeaveR5ModeState<CCommandMacroStateMachine> m_writeMode;
    CLoopInitState<CCommandMacroStateMachine> m_writeInit;
    CLoopTestState<CCommandMacroStateMachine> m_writeTest;
    CWriteCommandMacroState m_writeCaption;
    CWriteCommandMacroState m_writeText;
    CLoopStepState<CCommandMacroStateMachine> m_writeStep;
    CRestoreR5State<CCommandMacroStateMachine> m_restoreMode;
};

}  // namespace rm7
