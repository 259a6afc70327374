#include "platform/os_error.h"

#include <cerrno>

namespace rm7 {

namespace {

struct ErrnoCode {
    int err;
    Result code;
};

constexpr ErrnoCode kErrnoCodes[] = {
    {EACCES, kErrorAccessDenied},
    {EPERM, kErrorAccessDenied},
    // An exclusive tty already held by another process.
    {EBUSY, kErrorAccessDenied},
    {ENOENT, kErrorFileNotFound},
    {ENOTDIR, kErrorPathNotFound},
    // Opening a device node whose adapter is gone. On a device already open the tty code reads
    // these as the device going away (kErrPortGone) instead.
    {EIO, kErrorAccessDenied},
    {ENXIO, kErrorAccessDenied},
    {ENODEV, kErrorAccessDenied},
    {EBADF, kErrorInvalidHandle},
    {ENOMEM, kErrorNotEnoughMemory},
    {EINVAL, kErrorInvalidParameter},
    {ENOSPC, kErrorDiskFull},
    {EDQUOT, kErrorDiskFull},
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
    // A link met where none is followed.
    {ELOOP, kErrorCantResolveFilename},
};

struct CodeText {
    Result code;
    const char* text;
};

constexpr CodeText kTexts[] = {
    {kOk, "The operation completed successfully."},
    {kErrorInvalidFunction, "Incorrect function."},
    {kErrorFileNotFound, "The system cannot find the file specified."},
    {kErrorPathNotFound, "The system cannot find the path specified."},
    {kErrorTooManyOpenFiles, "The system cannot open the file."},
    {kErrorAccessDenied, "Access is denied."},
    {kErrorInvalidHandle, "The handle is invalid."},
    {kErrorNotEnoughMemory, "Not enough memory resources are available to process this command."},
    {kErrorInvalidData, "The data is invalid."},
    {kErrorOutOfMemory, "Not enough memory resources are available to complete this operation."},
    {kErrorWriteProtect, "The media is write protected."},
    {kErrorNotReady, "The device is not ready."},
    {kErrorBadCommand, "The device does not recognize the command."},
    {kErrorWriteFault, "The system cannot write to the specified device."},
    {kErrorReadFault, "The system cannot read from the specified device."},
    {kErrorGenFailure, "A device attached to the system is not functioning."},
    {kErrorSharingViolation, "The process cannot access the file because it is being used by another process."},
    {kErrorHandleEof, "Reached the end of the file."},
    {kErrorNotSupported, "The request is not supported."},
    {kErrorFileExists, "The file exists."},
    {kErrorInvalidParameter, "The parameter is incorrect."},
    {kErrorBrokenPipe, "The pipe has been ended."},
    {kErrorDiskFull, "There is not enough space on the disk."},
    {kErrorSemTimeout, "The semaphore timeout period has expired."},
    {kErrorInsufficientBuffer, "The data area passed to a system call is too small."},
    {kErrorInvalidName, "The filename, directory name, or volume label syntax is incorrect."},
    {kErrorDirNotEmpty, "The directory is not empty."},
    {kErrorBusy, "The requested resource is in use."},
    {kErrorAlreadyExists, "Cannot create a file when that file already exists."},
    {kErrorFilenameExcedRange, "The filename or extension is too long."},
    {kErrorMoreData, "More data is available."},
    {kErrorNoMoreItems, "No more data is available."},
    {kErrorOperationAborted,
     "The I/O operation has been aborted because of either a thread exit or an application request."},
    {kErrorIoPending, "Overlapped I/O operation is in progress."},
    {kErrorNoaccess, "Invalid access to memory location."},
    {kErrorIoDevice, "The request could not be performed because of an I/O device error."},
    {kErrorDeviceNotConnected, "The device is not connected."},
    {kErrorCancelled, "The operation was canceled by the user."},
    {kErrorNoSystemResources, "Insufficient system resources exist to complete the requested service."},
    {kErrorTimeout, "This operation returned because the timeout period expired."},
    {kErrorNotSameDevice, "The system cannot move the file to a different disk drive."},
    {kErrorCantResolveFilename, "The name of the file cannot be resolved by the system."},
    {kEFail, "Unspecified error"},
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

std::string SystemErrorText(Result code) {
    // 0x8007xxxx is an operating-system code in HRESULT dress and reads the same.
    if ((code & 0xFFFF0000u) == 0x80070000u) {
        code &= 0xFFFFu;
    }
    for (const CodeText& entry : kTexts) {
        if (entry.code == code) {
            return entry.text;
        }
    }
    return {};
}

}  // namespace rm7
