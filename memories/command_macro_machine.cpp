#include "memories/command_macro_machine.h"

#include "platform/last_error.h"
#include "platform/result_codes.h"

namespace rm7 {

void CReadCommandMacroState::Init() {
    CReadPicPromState::Init();
    m_buffer.fill(0);
    SetTransfer(MacroFieldAddress(Host().LoopIndex(), m_field), MacroFieldSize(m_field), m_buffer.data());
}

void CReadCommandMacroState::OnTransferComplete() {
    // The byte after the field stays 0: a field with no end byte ends there.
    m_buffer[MacroFieldSize(m_field)] = 0;
    const std::string text = MacroTextFromBytes(m_buffer.data(), MacroFieldSize(m_field));
    const std::size_t i = Host().LoopIndex();
    if (m_field == MacroField::Label) {
        Host().Labels().Set(i, text);
    } else {
        Host().Texts().Set(i, text);
    }
    OnSuccess();
}

void CWriteCommandMacroState::Init() {
    CWritePicPromState::Init();
    const std::size_t i = Host().LoopIndex();
    auto& values = m_field == MacroField::Label ? Host().Labels() : Host().Texts();
    std::string tidied = TidyMacroText(values.Get(i));
    // Checked for every macro before the write started; kept to the field all the same.
    const std::uint32_t length = EncodeMacroField(tidied, m_field, m_buffer.data());
    values.Set(i, MacroTextFromBytes(m_buffer.data(), std::min(length, MacroFieldSize(m_field))));
    SetTransfer(MacroFieldAddress(i, m_field), length, m_buffer.data());
}

CCommandMacroStateMachine::CCommandMacroStateMachine(CRadioSession& session, MacroLabels& labels, MacroTexts& texts)
    : CStateHost(session, kTimerId),
      m_labels(labels),
      m_texts(texts),
      m_textTerminalOff(*this, &m_readMode),
      m_readMode(*this, &m_readInit),
      m_readInit(*this, "ReadInit", &m_readTest),
      m_readTest(*this, "ReadTest", &m_readCaption, &m_restoreMode),
      m_readCaption(*this, "ReadCommandMacroCaption", &m_readText, MacroField::Label),
      m_readText(*this, "ReadCommandMacroText", &m_readStep, MacroField::Commands),
      m_readStep(*this, "ReadStep", &m_readTest),
      m_writeMode(*this, &m_writeInit),
      m_writeInit(*this, "WriteInit", &m_writeTest),
      m_writeTest(*this, "WriteTest", &m_writeCaption, &m_restoreMode),
      m_writeCaption(*this, "WriteCommandMacroCaption", &m_writeText, MacroField::Label),
      m_writeText(*this, "WriteCommandMacroText", &m_writeStep, MacroField::Commands),
      m_writeStep(*this, "WriteStep", &m_writeTest),
      m_restoreMode(*this, &FinalState()) {}

bool CCommandMacroStateMachine::StartWrite() {
    if (!IsIdle()) {
        SetLastError(kErrBusyStateMachine);
        return false;
    }
    const MacroRefusal refusal = CheckRadioMacros(m_labels, m_texts);
    if (refusal.code != kOk) {
        SetLastError(refusal.code);
        return false;
    }
    return Start(m_writeMode);
}

}  // namespace rm7
