#include "platform/os_error.h"

#include <cerrno>
#include <string>

#include <gtest/gtest.h>

namespace rm7 {
namespace {

struct ErrnoCase {
    int err;
    Result expected;
    const char* words;  // what a person reads for the code
};

// Every errno the platform meets, plus a few it might: each comes out as its code, never 0, and
// that code reads as the system's own words for the cause, never another cause's.
const ErrnoCase kCases[] = {
    {EACCES, 5, "Permission denied"},
    {EPERM, 5, "Permission denied"},
    {EBUSY, 170, "Device or resource busy"},
    {ENOENT, 2, "No such file or directory"},
    {ENOTDIR, 267, "Not a directory"},
    {EISDIR, 336, "Is a directory"},
    {EIO, 1117, "Input/output error"},
    {ENXIO, 1167, "No such device or address"},
    {ENODEV, 1167, "No such device or address"},
    {EBADF, 6, "Bad file descriptor"},
    {ENOMEM, 8, "Cannot allocate memory"},
    {EINVAL, 87, "Invalid argument"},
    {ENOSPC, 112, "No space left on device"},
    {EDQUOT, 112, "No space left on device"},
    {EFBIG, 112, "No space left on device"},
    {EEXIST, 80, "File exists"},
    {ENAMETOOLONG, 206, "File name too long"},
    {ETIMEDOUT, 1460, "Connection timed out"},
    {EINTR, 995, "Operation canceled"},
    {ECANCELED, 995, "Operation canceled"},
    {EROFS, 19, "Read-only file system"},
    {EMFILE, 4, "Too many open files"},
    {ENFILE, 4, "Too many open files"},
    {EPIPE, 109, "Broken pipe"},
    {ENOTTY, 1, "Inappropriate ioctl for device"},
    {ENOTEMPTY, 145, "Directory not empty"},
    {ELOOP, 1921, "Too many levels of symbolic links"},
    {EXDEV, 17, "Invalid cross-device link"},
    {ETXTBSY, 32, "Text file busy"},
    // No closer match: one general code, with words that claim no cause.
    {ECONNRESET, 31, "Unexpected system error"},
    {EPROTO, 31, "Unexpected system error"},
    {0, 31, "Unexpected system error"},
    {-1, 31, "Unexpected system error"},
    {123456, 31, "Unexpected system error"},
};

TEST(OsError, ErrnoTable) {
    for (const ErrnoCase& c : kCases) {
        const Result code = ResultFromErrno(c.err);
        EXPECT_EQ(code, c.expected) << "errno " << c.err;
        EXPECT_EQ(SystemErrorText(code), c.words) << "errno " << c.err;
        EXPECT_EQ(SystemErrorText(AsHresult(code)), c.words) << "errno " << c.err << " as HRESULT";
    }
}

// A code made from an errno gives that errno back (its words are the system's), unless the code
// stands for several errnos, when it gives the first of them; never another cause's errno.
TEST(OsError, CodesGiveBackTheErrnoBehindThem) {
    for (const ErrnoCase& c : kCases) {
        const Result code = ResultFromErrno(c.err);
        if (code == kErrorGenFailure) {
            EXPECT_EQ(ErrnoOfResult(code), 0) << "errno " << c.err;
            continue;
        }
        EXPECT_EQ(ResultFromErrno(ErrnoOfResult(code)), code) << "errno " << c.err;
    }
    EXPECT_EQ(ErrnoOfResult(kErrorAccessDenied), EACCES);
    EXPECT_EQ(ErrnoOfResult(kErrorBusy), EBUSY);
    // A missing folder on the way (as the file writer reports it) reads as what it is.
    EXPECT_EQ(SystemErrorText(kErrorPathNotFound), "No such file or directory");
    EXPECT_EQ(ErrnoOfResult(0xE2000045u), 0);
}

TEST(OsError, EveryResultCodeOfThePlatformHasItsText) {
    const Result codes[] = {kErrorFileNotFound,
                            kErrorPathNotFound,
                            kErrorAccessDenied,
                            kErrorInvalidHandle,
                            kErrorNotEnoughMemory,
                            kErrorInvalidData,
                            kErrorOutOfMemory,
                            kErrorWriteFault,
                            kErrorReadFault,
                            kErrorSharingViolation,
                            kErrorHandleEof,
                            kErrorNotSupported,
                            kErrorFileExists,
                            kErrorInvalidParameter,
                            kErrorBrokenPipe,
                            kErrorDiskFull,
                            kErrorInsufficientBuffer,
                            kErrorInvalidName,
                            kErrorDirNotEmpty,
                            kErrorAlreadyExists,
                            kErrorFilenameExcedRange,
                            kErrorMoreData,
                            kErrorNoMoreItems,
                            kErrorOperationAborted,
                            kErrorIoPending,
                            kErrorNoaccess,
                            kErrorDeviceNotConnected,
                            kErrorCancelled,
                            kErrorTimeout,
                            kErrorGenFailure,
                            kErrorBadCommand,
                            kErrorSemTimeout,
                            kErrorNotReady,
                            kErrorTooManyOpenFiles,
                            kErrorNoSystemResources,
                            kErrorBusy,
                            kErrorIoDevice,
                            kErrorDirectory,
                            kErrorDirectoryNotSupported,
                            kEFail};
    for (Result code : codes) {
        EXPECT_FALSE(SystemErrorText(code).empty()) << code;
    }
}

// No operating-system code reads in another platform's words.
TEST(OsError, NoTextReadsLikeAnotherPlatform) {
    for (Result code = 0; code < 13000; ++code) {
        const std::string text = SystemErrorText(code);
        for (const char* foreign : {"The system cannot", "Access is denied", "The handle is invalid",
                                    "Incorrect function", "The parameter is incorrect", "is not functioning"}) {
            EXPECT_EQ(text.find(foreign), std::string::npos) << code << ": " << text;
        }
        EXPECT_TRUE(text.empty() || text.back() != '.') << code << ": " << text;
    }
    EXPECT_EQ(SystemErrorText(13), "The data is invalid");
    EXPECT_EQ(SystemErrorText(1223), "The operation was cancelled");
    EXPECT_EQ(SystemErrorText(9999), "");
    EXPECT_EQ(SystemErrorText(0xE2000045u), "");  // the program's own codes have their own table
    EXPECT_EQ(SystemErrorText(0x80079999u), "");
}

}  // namespace
}  // namespace rm7
