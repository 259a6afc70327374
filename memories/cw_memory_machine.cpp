#include "memories/cw_memory_machine.h"

#include <algorithm>

namespace rm7 {

void CReadCWMemoryState::Init() {
    CReadPicPromState::Init();
    Host().Buffer().fill(kCwErased);
    m_countRead = 0;
    SetChunk();
}

void CReadCWMemoryState::SetChunk() {
    m_chunk = std::min<std::uint32_t>(kCwAreaSize - m_countRead, 16);
    const std::uint32_t offset = kCwAreaSize - m_countRead - m_chunk;
    SetTransfer(CwAreaAddress(Host().LoopIndex()) + offset, m_chunk, Host().Buffer().data() + offset);
}

void CReadCWMemoryState::OnTransferComplete() {
    CwArea& area = Host().Buffer();
    m_countRead += m_chunk;
    const std::size_t lowest = kCwAreaSize - m_countRead;
    std::size_t end = kCwAreaSize;  // offset of the end mark found, if any
    for (std::size_t offset = kCwAreaSize; offset-- > lowest;) {
        if (area[offset] == kCwEndMark || area[offset] == kCwErased) {
            end = offset;
            break;
        }
    }
    if (end == kCwAreaSize && m_countRead < kCwAreaSize) {
        SetChunk();
        Run();
        return;
    }
    Host().texts.Set(Host().LoopIndex(), DecodeCwArea(area, end == kCwAreaSize ? 0 : end + 1));
    OnSuccess();
}

void CWriteCWMemoryState::Run() {
    CCWMemoryStateMachine& machine = Host();
    const std::uint32_t i = machine.LoopIndex();
    const std::string& pending = machine.texts.Pending(i);
    if (pending == machine.texts.Get(i)) {
        Next();  // unchanged: no EEPROM traffic
        return;
    }
    // More than an area holds is refused rather than cut short.
    if (CheckCwText(pending, kCwAreaSize) == kErrCwMemoryTooLong) {
        Fail(kErrCwMemoryTooLong);
        return;
    }
    const std::uint32_t length = EncodeCwArea(pending, machine.Buffer());
    const std::uint32_t offset = kCwAreaSize - length;
    SetTransfer(CwAreaAddress(i) + offset, length, machine.Buffer().data() + offset);
    CWritePicPromState::Run();
}

void CWriteCWMemoryState::OnAllWritten() {
    CCWMemoryStateMachine& machine = Host();
    const std::uint32_t i = machine.LoopIndex();
    machine.texts.Set(i, machine.texts.Pending(i));
    Next();
}

CCWMemoryStateMachine::CCWMemoryStateMachine(CRadioSession& session)
    : CStateHost(session, kTimerId),
      texts(session.Pump(), kMsgCwMemoryTexts),
      m_textTerminalOff(*this, &m_readInit),
      m_readInit(*this, "ReadInit", &m_readMode),
      m_readMode(*this, &m_readTest),
      m_readTest(*this, "ReadTest", &m_readMemory, &m_restoreMode),
      m_readMemory(*this, &m_readStep),
      m_readStep(*this, "ReadStep", &m_readTest),
      m_writeInit(*this, "WriteInit", &m_writeMode),
      m_writeMode(*this, &m_writeTest),
      m_writeTest(*this, "WriteTest", &m_writeMemory, &m_restoreMode),
      m_writeMemory(*this, &m_writeStep),
      m_writeStep(*this, "WriteStep", &m_writeTest),
      m_restoreMode(*this, &FinalState()) {}

}  // namespace rm7
