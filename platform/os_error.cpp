#include "platform/os_error.h"

#include <cerrno>
#include <cstring>

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
    {EDQUOT, kErrorDiskFull},
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

// Codes no errno stands for (or none the system says better): this program's own words.
struct CodeWords {
    Result code;
    int err;  // whose words these are; 0 for words of our own
    const char* text;
};

constexpr CodeWords kOtherCodes[] = {
    {kOk, 0, "Success"},
    {kErrorPathNotFound, ENOENT, nullptr},
    {kErrorInvalidData, 0, "The data is invalid"},
    {kErrorOutOfMemory, ENOMEM, nullptr},
    {kErrorNotReady, 0, "The device is not ready"},
    {kErrorBadCommand, 0, "The device does not know the command"},
    {kErrorWriteFault, EIO, nullptr},
    {kErrorReadFault, EIO, nullptr},
    {kErrorGenFailure, 0, "Unexpected system error"},
    {kErrorHandleEof, 0, "End of file"},
    {kErrorNotSupported, EOPNOTSUPP, nullptr},
    {kErrorSemTimeout, ETIMEDOUT, nullptr},
    {kErrorInsufficientBuffer, 0, "The buffer is too small"},
    {kErrorInvalidName, 0, "The file name is not valid"},
    {kErrorAlreadyExists, EEXIST, nullptr},
    {kErrorMoreData, 0, "More data is available"},
    {kErrorNoMoreItems, 0, "No more data is available"},
    {kErrorIoPending, 0, "The operation is in progress"},
    {kErrorNoaccess, EFAULT, nullptr},
    {kErrorCancelled, 0, "The operation was cancelled"},
    {kErrorNoSystemResources, EAGAIN, nullptr},
    {kEFail, 0, "Unspecified error"},
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

namespace {

// 0x8007xxxx is an operating-system code in HRESULT dress and reads the same.
Result Unwrapped(Result code) {
    return (code & 0xFFFF0000u) == 0x80070000u ? code & 0xFFFFu : code;
}

}  // namespace

int ErrnoOfResult(Result code) {
    code = Unwrapped(code);
    for (const ErrnoCode& entry : kErrnoCodes) {
        if (entry.code == code) {
            return entry.err;
        }
    }
    for (const CodeWords& entry : kOtherCodes) {
        if (entry.code == code) {
            return entry.err;
        }
    }
    return 0;
}

std::string SystemErrorText(Result code) {
    code = Unwrapped(code);
    if (const int err = ErrnoOfResult(code); err != 0) {
        return std::strerror(err);
    }
    for (const CodeWords& entry : kOtherCodes) {
        if (entry.code == code && entry.text != nullptr) {
            return entry.text;
        }
    }
    return {};
}

}  // namespace rm7
