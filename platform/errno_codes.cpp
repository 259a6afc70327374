// The one errno table, for every system: errno from the C runtime, std::filesystem and the POSIX
// calls turned into the system's result codes, and back.
#include <cerrno>

#include "platform/os_error.h"

namespace rm7 {

namespace {

struct ErrnoCode {
    int err;
    Result code;
};

// Read both ways: an errno gives its code, and a code's text is the words of the first errno
// listed for it.
constexpr ErrnoCode kErrnoCodes[] = {
    {EACCES, kErrorAccessDenied},
    {EPERM, kErrorAccessDenied},
    // A tty held by another program: its exclusive mode, or the lock every port of ours takes.
    {EBUSY, kErrorBusy},
    {ENOENT, kErrorFileNotFound},
    // A part of the path that is no folder; a folder that is missing is ERROR_PATH_NOT_FOUND (3).
    {ENOTDIR, kErrorDirectory},
    // Opening a device node whose adapter is gone. On a device already open the tty code reads
    // these as the device going away (kErrPortGone) instead.
    {ENXIO, kErrorDeviceNotConnected},
    {ENODEV, kErrorDeviceNotConnected},
    {EIO, kErrorIoDevice},
    {EBADF, kErrorInvalidHandle},
    {ENOMEM, kErrorNotEnoughMemory},
    {EINVAL, kErrorInvalidParameter},
    {ENOSPC, kErrorDiskFull},
#ifdef EDQUOT
    {EDQUOT, kErrorDiskFull},
#endif
    {EFBIG, kErrorDiskFull},
    {EEXIST, kErrorFileExists},
    {ENAMETOOLONG, kErrorFilenameExcedRange},
    {ETIMEDOUT, kErrorTimeout},
    {ECANCELED, kErrorOperationAborted},
    {EINTR, kErrorOperationAborted},
    {EROFS, kErrorWriteProtect},
    {EMFILE, kErrorTooManyOpenFiles},
    {ENFILE, kErrorTooManyOpenFiles},
    {EPIPE, kErrorBrokenPipe},
    {ENOTTY, kErrorInvalidFunction},
    {EISDIR, kErrorDirectoryNotSupported},
    {ENOTEMPTY, kErrorDirNotEmpty},
    {ETXTBSY, kErrorSharingViolation},
    {EXDEV, kErrorNotSameDevice},
    // A link met where none is followed.
    {ELOOP, kErrorCantResolveFilename},
};

// Codes no errno above gives, that still mean the cause an errno names.
constexpr ErrnoCode kAlsoErrno[] = {
    {ENOENT, kErrorPathNotFound},  {ENOMEM, kErrorOutOfMemory},      {EIO, kErrorWriteFault},
    {EIO, kErrorReadFault},        {EOPNOTSUPP, kErrorNotSupported}, {ETIMEDOUT, kErrorSemTimeout},
    {EEXIST, kErrorAlreadyExists}, {EFAULT, kErrorNoaccess},         {EAGAIN, kErrorNoSystemResources},
};

// 0x8007xxxx is an operating-system code in HRESULT dress and reads the same.
Result Unwrapped(Result code) {
    return (code & 0xFFFF0000u) == 0x80070000u ? code & 0xFFFFu : code;
}

}  // namespace

Result ResultFromErrno(int err) {
    for (const ErrnoCode& entry : kErrnoCodes) {
        if (entry.err == err) {
            return entry.code;
        }
    }
    return kErrorGenFailure;
}

int ErrnoOfResult(Result code) {
    code = Unwrapped(code);
    for (const ErrnoCode& entry : kErrnoCodes) {
        if (entry.code == code) {
            return entry.err;
        }
    }
    for (const ErrnoCode& entry : kAlsoErrno) {
        if (entry.code == code) {
            return entry.err;
        }
    }
    return 0;
}

}  // namespace rm7
