#include "platform/os_error.h"

#include "platform/result_codes.h"
#include "platform/win/wide_text.h"

namespace rm7 {

// Windows' own words for its own codes, in the user's language, as every other program shows them.
std::string SystemErrorText(Result code) {
    if ((code & 0xFFFF0000u) == 0x80070000u) {
        code &= 0xFFFFu;
    }
    // The system's codes live below 0x10000; the program's own (0xE2...) have no system text.
    if (code >= 0x10000u && code != kEFail) {
        return {};
    }
    wchar_t* buffer = nullptr;
    const DWORD n =
        ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                         nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text(buffer != nullptr ? buffer : L"", n);
    if (buffer != nullptr) {
        ::LocalFree(buffer);
    }
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) {
        text.pop_back();
    }
    return WideToUtf8(text);
}

}  // namespace rm7
