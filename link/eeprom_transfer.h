#pragma once
// The EEPROM block transfer: the "ER"/"EW" block commands and their answer checks, and the states
// that read or write a run of bytes in blocks, each block checked against the EEPROM map first.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "link/basic_states.h"
#include "model/eeprom_map.h"
#include "platform/text.h"

namespace rm7 {

namespace eeprom {

// Blocks of at most 64 bytes that never cross a 256-byte page.
inline std::uint32_t BlockLength(std::uint32_t address, std::uint32_t remaining) {
    std::uint32_t length = std::min<std::uint32_t>(remaining, 64);
    if (((address >> 8) & 0xFF) != (((address + length - 1) >> 8) & 0xFF)) {
        length = 256 - (address % 256);
    }
    return length;
}

// Two hex digits at text[pos]; false (and the last error 0xE200000B) on a bad character.
inline bool ParseByte(const std::string& text, std::size_t pos, std::uint8_t& out) {
    if (pos + 2 > text.size()) {
        return false;
    }
    const int hi = HexDigitValue(text[pos]);
    const int lo = HexDigitValue(text[pos + 1]);
    if (hi < 0 || lo < 0) {
        SetLastError(kErrUnexpectedHexCharacter);
        return false;
    }
    out = static_cast<std::uint8_t>(hi * 16 + lo);
    return true;
}

std::string ReadCommand(std::uint32_t address, std::uint32_t length);
std::string WriteCommand(std::uint32_t address, const std::uint8_t* data, std::uint32_t length);
// Checks a read answer against its command and copies the bytes to out. Only a block of
// exactly the requested length passes: a saved configuration must never hold bytes the
// radio did not send.
bool CheckReadAnswer(const std::string& command, const std::string& answer, std::uint32_t length, std::uint8_t* out);
bool CheckWriteAnswer(const std::string& command, const std::string& answer);

}  // namespace eeprom

// Shared by the EEPROM read and write states.
template <typename T>
class CPicPromStateBase : public CCommandResponseRetryState<T> {
  public:
    CPicPromStateBase(CStateHost<T>& host, const char* name, CState<T>* next, Result error, std::uint32_t address,
                      std::uint32_t totalLength, std::uint8_t* buffer)
        : CCommandResponseRetryState<T>(host, name, next, error, ";", 2000),
          m_address(address),
          m_totalLength(totalLength),
          m_buffer(buffer) {}

    void Run() override {
        m_bytesDone = 0;
        SendNextBlock();
    }
    void OnValidResponse() override {
        Advance();
        SendNextBlock();
    }
    virtual void Advance() {
        m_bytesDone += m_blockLength;
        // Each block gets its own retries: a long transfer over a poor cable must not
        // fail for a handful of lost answers spread over many blocks.
        this->m_sends = 0;
        this->m_host.Progress(m_blockLength);
    }

    void SetTransfer(std::uint32_t address, std::uint32_t totalLength, std::uint8_t* buffer) {
        m_address = address;
        m_totalLength = totalLength;
        m_buffer = buffer;
    }
    std::uint32_t BytesDone() const { return m_bytesDone; }

  protected:
    virtual void OnTransferComplete() = 0;
    virtual bool BlockAllowed(std::uint32_t address, std::uint32_t length) const = 0;
    virtual std::string BuildCommand(std::uint32_t address, std::uint32_t length) const = 0;

    void SendNextBlock() {
        const std::uint32_t remaining = m_totalLength - m_bytesDone;
        if (remaining == 0) {
            OnTransferComplete();
            return;
        }
        const std::uint32_t address = m_address + m_bytesDone;
        m_blockLength = eeprom::BlockLength(address, remaining);
        if (!BlockAllowed(address, m_blockLength)) {
            this->Fail(kErrInvalidEepromAddress);
            return;
        }
        this->m_command = BuildCommand(address, m_blockLength);
        this->Send();
    }

    std::uint32_t m_blockLength = 0;
    std::uint32_t m_address;
    std::uint32_t m_totalLength;
    std::uint32_t m_bytesDone = 0;
    std::uint8_t* m_buffer;
};

template <typename T>
class CReadPicPromState : public CPicPromStateBase<T> {
  public:
    CReadPicPromState(CStateHost<T>& host, const char* name, CState<T>* next, std::uint32_t address,
                      std::uint32_t totalLength, std::uint8_t* buffer)
        : CPicPromStateBase<T>(host, name, next, kErrNoResponseReadEeprom, address, totalLength, buffer) {}

    AnswerCheck CheckAnswer(const std::string& answer) override {
        return ValidIf(
            eeprom::CheckReadAnswer(this->m_command, answer, this->m_blockLength, this->m_buffer + this->m_bytesDone));
    }

  protected:
    void OnTransferComplete() override { this->OnSuccess(); }
    bool BlockAllowed(std::uint32_t address, std::uint32_t length) const override {
        return address + length <= kEepromSize;
    }
    std::string BuildCommand(std::uint32_t address, std::uint32_t length) const override {
        return eeprom::ReadCommand(address, length);
    }
};

template <typename T>
class CWritePicPromState : public CPicPromStateBase<T> {
  public:
    CWritePicPromState(CStateHost<T>& host, const char* name, CState<T>* next, std::uint32_t address,
                       std::uint32_t totalLength, std::uint8_t* buffer)
        : CPicPromStateBase<T>(host, name, next, kErrNoResponseWriteEeprom, address, totalLength, buffer) {}

    AnswerCheck CheckAnswer(const std::string& answer) override {
        return ValidIf(eeprom::CheckWriteAnswer(this->m_command, answer));
    }
    virtual void OnAllWritten() { this->Next(); }

  protected:
    void OnTransferComplete() override { OnAllWritten(); }
    bool BlockAllowed(std::uint32_t address, std::uint32_t length) const override {
        return address + length <= kEepromSize &&
               IsWithinWriteRange(static_cast<std::uint16_t>(address), static_cast<std::uint16_t>(length));
    }
    std::string BuildCommand(std::uint32_t address, std::uint32_t length) const override {
        return eeprom::WriteCommand(address, this->m_buffer + this->m_bytesDone, length);
    }
};

}  // namespace rm7
