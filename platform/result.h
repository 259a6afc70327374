#pragma once
// Result codes: 0 is success, every other value a failure. Positive codes keep the
// Windows numbering that texts, logs and saved files have always shown; codes with
// bit 31 set are HRESULT-style, the program's own being 0xE200xxxx and 0xA200xxxx.
#include <cstdint>

namespace rm7 {

using Result = std::uint32_t;

inline constexpr Result kOk = 0;
inline constexpr Result kErrorInvalidFunction = 1;
inline constexpr Result kErrorFileNotFound = 2;
inline constexpr Result kErrorPathNotFound = 3;
inline constexpr Result kErrorAccessDenied = 5;
inline constexpr Result kErrorInvalidHandle = 6;
inline constexpr Result kErrorNotEnoughMemory = 8;
inline constexpr Result kErrorInvalidData = 13;
inline constexpr Result kErrorOutOfMemory = 14;
inline constexpr Result kErrorWriteFault = 29;
inline constexpr Result kErrorReadFault = 30;
inline constexpr Result kErrorSharingViolation = 32;
inline constexpr Result kErrorHandleEof = 38;
inline constexpr Result kErrorNotSupported = 50;
inline constexpr Result kErrorFileExists = 80;
inline constexpr Result kErrorInvalidParameter = 87;
inline constexpr Result kErrorBrokenPipe = 109;
inline constexpr Result kErrorDiskFull = 112;
inline constexpr Result kErrorInsufficientBuffer = 122;
inline constexpr Result kErrorInvalidName = 123;
inline constexpr Result kErrorDirNotEmpty = 145;
inline constexpr Result kErrorAlreadyExists = 183;
inline constexpr Result kErrorFilenameExcedRange = 206;
inline constexpr Result kErrorMoreData = 234;
inline constexpr Result kErrorNoMoreItems = 259;
inline constexpr Result kErrorOperationAborted = 995;
inline constexpr Result kErrorIoPending = 997;
inline constexpr Result kErrorNoaccess = 998;
inline constexpr Result kErrorDeviceNotConnected = 1167;
inline constexpr Result kErrorCancelled = 1223;
inline constexpr Result kErrorTimeout = 1460;
inline constexpr Result kErrorNotSameDevice = 17;
inline constexpr Result kErrorCantResolveFilename = 1921;
inline constexpr Result kErrorGenFailure = 31;
inline constexpr Result kErrorBadCommand = 22;
inline constexpr Result kErrorSemTimeout = 121;
inline constexpr Result kErrorNotReady = 21;
inline constexpr Result kErrorWriteProtect = 19;
inline constexpr Result kErrorTooManyOpenFiles = 4;
inline constexpr Result kErrorNoSystemResources = 1450;
inline constexpr Result kErrorBusy = 170;
inline constexpr Result kErrorIoDevice = 1117;
inline constexpr Result kErrorDirectory = 267;
inline constexpr Result kErrorDirectoryNotSupported = 336;
inline constexpr Result kEFail = 0x80004005;

// A positive (operating-system) code counts as the HRESULT (code & 0xFFFF) | 0x80070000.
constexpr std::uint32_t AsHresult(Result r) {
    return (r != 0 && (r & 0x80000000u) == 0) ? ((r & 0xFFFFu) | 0x80070000u) : r;
}
constexpr bool Failed(Result r) {
    return (AsHresult(r) & 0x80000000u) != 0;
}
constexpr bool Succeeded(Result r) {
    return !Failed(r);
}

}  // namespace rm7
