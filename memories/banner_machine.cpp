#include "memories/banner_machine.h"

#include <algorithm>

#include "platform/error_text.h"
#include "platform/format.h"
#include "platform/last_error.h"
#include "platform/text.h"

namespace rm7 {

std::string BannerTextFromBytes(const std::uint8_t* bytes, std::size_t size) {
    std::string latin1;
    for (std::size_t i = 0; i < size && bytes[i] != 0 && bytes[i] != 0xFF; ++i) {
        latin1 += static_cast<char>(bytes[i]);
    }
    return Latin1ToUtf8(latin1);
}

std::string UpperCaseBannerText(std::string_view utf8) {
    std::string out(utf8);
    for (std::size_t i = 0; i < out.size(); ++i) {
        const auto c = static_cast<unsigned char>(out[i]);
        if (c >= 'a' && c <= 'z') {
            out[i] = static_cast<char>(c - 0x20);
        } else if (c == 0xC3 && i + 1 < out.size()) {
            // U+00E0-U+00FE (but the division sign U+00F7) have upper-case forms 0x20 lower.
            const auto next = static_cast<unsigned char>(out[i + 1]);
            if (next >= 0xA0 && next <= 0xBE && next != 0xB7) {
                out[i + 1] = static_cast<char>(next - 0x20);
            }
            ++i;
        }
    }
    return out;
}

std::string TidyBannerText(std::string_view utf8) {
    std::string out = UpperCaseBannerText(utf8);
    while (!out.empty() && (out.back() == ' ' || (out.back() >= '\t' && out.back() <= '\r'))) {
        out.pop_back();
    }
    return out;
}

Result BannerBytesFromText(std::string_view utf8, BannerBuffer& out) {
    std::string latin1 = Utf8ToLatin1(utf8);
    if (latin1.size() > kBannerMaxLength) {
        return kErrorInvalidParameter;
    }
    // A zero or 0xFF byte would end the text early when the radio reads it back.
    std::replace_if(
        latin1.begin(), latin1.end(), [](char c) { return c == '\0' || c == '\xFF'; }, '?');
    out.fill(0);
    std::copy(latin1.begin(), latin1.end(), out.begin());
    return kOk;
}

void CReadBannerState::OnTransferComplete() {
    BannerBuffer& buffer = Host().Buffer();
    std::replace(buffer.begin(), buffer.end(), std::uint8_t{0xFF}, std::uint8_t{0});
    buffer[kBannerMaxLength] = 0;
    Host().text.Set(BannerTextFromBytes(buffer.data(), buffer.size()));
    OnSuccess();
}

void CWriteBannerState::Init() {
    CWritePicPromState::Init();
    BannerBuffer& buffer = Host().Buffer();
    buffer[kBannerMaxLength] = 0;
    const auto end = std::find(buffer.begin(), buffer.end(), std::uint8_t{0});
    const auto length = static_cast<std::uint32_t>(end - buffer.begin()) + 1;  // with its zero byte
    SetTransfer(kBannerAddress, length, buffer.data());
}

void CWriteBannerState::OnAllWritten() {
    const BannerBuffer& buffer = Host().Buffer();
    Host().text.Set(BannerTextFromBytes(buffer.data(), buffer.size()));
    Next();
}

CBannerStateMachine::CBannerStateMachine(CRadioSession& session)
    : CStateHost(session, kTimerId),
      text(session.Pump(), kMsgBannerText),
      m_write(*this, &m_read, m_buffer.data()),
      m_read(*this, &FinalState(), m_buffer.data()) {}

bool CBannerStateMachine::StartRead() {
    return Start(m_read);
}

bool CBannerStateMachine::StartWrite() {
    if (!IsIdle()) {
        SetLastError(kErrBusyStateMachine);
        return false;
    }
    const Result r = BannerBytesFromText(text.Pending(), m_buffer);
    if (r != kOk) {
        SetLastError(r);
        return false;
    }
    return Start(m_write);
}

}  // namespace rm7
