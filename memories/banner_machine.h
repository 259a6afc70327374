#pragma once
// The power-on banner: the short text the radio shows when switched on, kept in its EEPROM
// (model/eeprom_map.h) as ISO-8859-1 bytes ended by a zero byte. CBannerStateMachine reads it (and
// writes it, always followed by a read-back).
//
// Threads: UI thread only, like every machine.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "link/eeprom_transfer.h"
#include "memories/editable_value.h"
#include "model/eeprom_map.h"
#include "model/messages.h"

namespace rm7 {

inline constexpr std::size_t kBannerMaxLength = kBannerAreaSize - 1;  // text bytes, without the zero byte
using BannerBuffer = std::array<std::uint8_t, kBannerAreaSize>;

// The text of a banner area: the bytes up to the first zero or erased (0xFF) byte.
std::string BannerTextFromBytes(const std::uint8_t* bytes, std::size_t size);
// Upper case, as the banner's edit box shows it (a-z and the ISO-8859-1 letters with an
// upper-case form); other characters unchanged.
std::string UpperCaseBannerText(std::string_view utf8);
// What "Save" writes for a typed text: upper case, trailing white space removed.
std::string TidyBannerText(std::string_view utf8);
// The text as the radio's bytes, zero-ended. A character above 255 becomes '?'. A text of more
// than 22 bytes is refused (ERROR_INVALID_PARAMETER) rather than cut short.
Result BannerBytesFromText(std::string_view utf8, BannerBuffer& out);

class CBannerStateMachine;

class CReadBannerState final : public CReadPicPromState<CBannerStateMachine> {
  public:
    CReadBannerState(CStateHost<CBannerStateMachine>& host, CState* next, std::uint8_t* buffer)
        : CReadPicPromState(host, "ReadBanner", next, kBannerAddress, kBannerMaxLength, buffer) {}

  protected:
    void OnTransferComplete() override;
};

class CWriteBannerState final : public CWritePicPromState<CBannerStateMachine> {
  public:
    CWriteBannerState(CStateHost<CBannerStateMachine>& host, CState* next, std::uint8_t* buffer)
        : CWritePicPromState(host, "WriteBanner", next, kBannerAddress, 0, buffer) {}
    void Init() override;
    void OnAllWritten() override;
};

class CBannerStateMachine final : public CStateHost<CBannerStateMachine> {
  public:
    static constexpr std::uint32_t kTimerId = kTimerBanner;

    explicit CBannerStateMachine(CRadioSession& session);

    // Reads the banner; false (last error 0xE2000052) when busy.
    bool StartRead();
    // Writes the pending text, then reads it back. False, with the thread's last error, when
    // busy or when the text does not fit.
    bool StartWrite();

    BannerBuffer& Buffer() { return m_buffer; }

    // The banner as last read or written; its pending copy is the edited text.
    CEditableValue<std::string> text;

    CWriteBannerState m_write;
    CReadBannerState m_read;

  private:
    BannerBuffer m_buffer{};
};

}  // namespace rm7
