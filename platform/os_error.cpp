#include "platform/os_error.h"

#include <cstring>

namespace rm7 {

namespace {

// Codes no errno stands for (or none the system says better): this program's own words.
struct CodeWords {
    Result code;
    const char* text;
};

constexpr CodeWords kOtherCodes[] = {
    {kOk, "Success"},
    {kErrorInvalidData, "The data is invalid"},
    {kErrorNotReady, "The device is not ready"},
    {kErrorBadCommand, "The device does not know the command"},
    {kErrorGenFailure, "Unexpected system error"},
    {kErrorHandleEof, "End of file"},
    {kErrorInsufficientBuffer, "The buffer is too small"},
    {kErrorInvalidName, "The file name is not valid"},
    {kErrorMoreData, "More data is available"},
    {kErrorNoMoreItems, "No more data is available"},
    {kErrorIoPending, "The operation is in progress"},
    {kErrorCancelled, "The operation was cancelled"},
    {kEFail, "Unspecified error"},
};

// 0x8007xxxx is an operating-system code in HRESULT dress and reads the same.
Result Unwrapped(Result code) {
    return (code & 0xFFFF0000u) == 0x80070000u ? code & 0xFFFFu : code;
}

}  // namespace

std::string SystemErrorText(Result code) {
    code = Unwrapped(code);
    if (const int err = ErrnoOfResult(code); err != 0) {
        return std::strerror(err);
    }
    for (const CodeWords& entry : kOtherCodes) {
        if (entry.code == code) {
            return entry.text;
        }
    }
    return {};
}

}  // namespace rm7
