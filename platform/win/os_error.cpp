#include "platform/os_error.h"

#include <cerrno>

#include "platform/result_codes.h"
#include "platform/win/wide_text.h"

namespace rm7 {

namespace {

struct ErrnoCode {
    int err;
    Result code;
};

// Here errno comes only from the C runtime and from std::filesystem, which speak its subset.
constexpr ErrnoCode kErrnoCodes[] = {
    {EACCES, kErrorAccessDenied},
    {EPERM, kErrorAccessDenied},
    {EBUSY, kErrorAccessDenied},
    {ENOENT, kErrorFileNotFound},
    {ENOTDIR, kErrorPathNotFound},
    {EIO, kErrorAccessDenied},
    {ENXIO, kErrorAccessDenied},
    {ENODEV, kErrorAccessDenied},
    {EBADF, kErrorInvalidHandle},
    {ENOMEM, kErrorNotEnoughMemory},
    {EINVAL, kErrorInvalidParameter},
    {ENOSPC, kErrorDiskFull},
    {EFBIG, kErrorDiskFull},
    {EEXIST, kErrorFileExists},
    {ENAMETOOLONG, kErrorFilenameExcedRange},
    {ETIMEDOUT, kErrorTimeout},
    {EINTR, kErrorOperationAborted},
    {ECANCELED, kErrorOperationAborted},
    {EROFS, kErrorWriteProtect},
    {EMFILE, kErrorTooManyOpenFiles},
    {ENFILE, kErrorTooManyOpenFiles},
    {EPIPE, kErrorBrokenPipe},
    {ENOTTY, kErrorInvalidFunction},
    {EISDIR, kErrorAccessDenied},
    {ENOTEMPTY, kErrorDirNotEmpty},
    {ETXTBSY, kErrorSharingViolation},
    {EXDEV, kErrorNotSameDevice},
    {ELOOP, kErrorCantResolveFilename},
};

}  // namespace

Result ResultFromErrno(int err) {
    for (const ErrnoCode& entry : kErrnoCodes) {
        if (entry.err == err) {
            return entry.code;
        }
    }
    return kErrorGenFailure;
}

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
