#include "platform/os_error.h"

#include <cerrno>

#include <gtest/gtest.h>

namespace rm7 {
namespace {

struct ErrnoCase {
    int err;
    Result expected;
};

// Every errno the platform meets, plus a few it might: each must come out as its code, never 0.
constexpr ErrnoCase kCases[] = {
    {EACCES, 5},       {EPERM, 5},   {EBUSY, 5},       {ENOENT, 2},
    {ENOTDIR, 3},      {EIO, 5},     {ENXIO, 5},       {ENODEV, 5},
    {EBADF, 6},        {ENOMEM, 8},  {EINVAL, 87},     {ENOSPC, 112},
    {EDQUOT, 112},     {EFBIG, 112}, {EEXIST, 80},     {ENAMETOOLONG, 206},
    {ETIMEDOUT, 1460}, {EINTR, 995}, {ECANCELED, 995}, {EROFS, 19},
    {EMFILE, 4},       {ENFILE, 4},  {EPIPE, 109},     {ENOTTY, 1},
    {ECONNRESET, 31},  {EPROTO, 31}, {0, 31},          {-1, 31},
    {123456, 31},      {EISDIR, 5},  {ENOTEMPTY, 145}, {ELOOP, 1921},
    {EXDEV, 17},
};

TEST(OsError, ErrnoTable) {
    for (const ErrnoCase& c : kCases) {
        const Result code = ResultFromErrno(c.err);
        EXPECT_EQ(code, c.expected) << "errno " << c.err;
        EXPECT_FALSE(SystemErrorText(code).empty()) << "no text for " << code << " (errno " << c.err << ")";
    }
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
                            kEFail};
    for (Result code : codes) {
        EXPECT_FALSE(SystemErrorText(code).empty()) << code;
    }
}

TEST(OsError, TextsReadLikeTheSystemsOwn) {
    EXPECT_EQ(SystemErrorText(5), "Access is denied.");
    EXPECT_EQ(SystemErrorText(0x80070005u), "Access is denied.");
    EXPECT_EQ(SystemErrorText(2), "The system cannot find the file specified.");
    EXPECT_EQ(SystemErrorText(13), "The data is invalid.");
    EXPECT_EQ(SystemErrorText(1223), "The operation was canceled by the user.");
    EXPECT_EQ(SystemErrorText(31), "A device attached to the system is not functioning.");
    EXPECT_EQ(SystemErrorText(87), "The parameter is incorrect.");
    EXPECT_EQ(SystemErrorText(9999), "");
    EXPECT_EQ(SystemErrorText(0xE2000045u), "");  // the program's own codes have their own table
    EXPECT_EQ(SystemErrorText(0x80079999u), "");
}

}  // namespace
}  // namespace rm7
