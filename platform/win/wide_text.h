#pragma once
// UTF-8 as the program keeps text, UTF-16 as the Win32 calls take it; Windows only.
#include <windows.h>

#include <string>

namespace rm7 {

std::wstring Utf8ToWide(const std::string& text);
std::string WideToUtf8(const std::wstring& text);

// A kernel handle kept in an int: Windows keeps the significant bits of a handle within 32, so
// the value survives the trip (INVALID_HANDLE_VALUE becomes -1).
inline int HandleToInt(HANDLE h) {
    return h == INVALID_HANDLE_VALUE || h == nullptr ? -1 : static_cast<int>(HandleToLong(h));
}
inline HANDLE IntToHandle(int value) {
    return value < 0 ? INVALID_HANDLE_VALUE : LongToHandle(value);
}

}  // namespace rm7
