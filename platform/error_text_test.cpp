#include "platform/error_text.h"

#include <gtest/gtest.h>

#include "platform/result.h"
#include "platform/result_codes.h"

namespace rm7 {
namespace {

TEST(ErrorText, OwnCodesHaveTheirTextsWithoutLineBreaks) {
    const std::pair<Result, const char*> cases[] = {
        {kErrNoResponseAfterReset, "No response after reset"},
        {kErrUnexpectedDevice, "Unexpected device (e.g. R5 vs RM7)"},
        {kErrTxNorm, "R5 must be in \"TX NORM\" for TX Gain Calibration"},
        {kWarnReconciliationZero, "The computed checksum reconciliation word is zero"},
        {kErrNoResponseXT, "No response to XIT (XT)"},
        {kErrorAccessDenied, "Access is denied."},
        {kErrorCancelled, "The operation was canceled by the user."},
    };
    for (const auto& [code, text] : cases) {
        EXPECT_EQ(ErrorText(code), text) << std::hex << code;
    }
    // Every code of the program's own range in use has a text.
    for (Result code = 0xE2000000; code < 0xE2000220; ++code) {
        const std::string text = ErrorText(code);
        EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos) << std::hex << code;
    }
}

TEST(ErrorText, UnknownCodesAreEmptyAndFormatsStillShowTheCode) {
    EXPECT_EQ(ErrorText(0xE2000001), "");
    EXPECT_EQ(ErrorText(0xA2001234), "");
    EXPECT_EQ(ErrorCodeText(0xE2000001), "Error code 0xE2000001: ");
    EXPECT_EQ(ErrorCodeText(kErrNoResponseAfterReset), "Error code 0xE2000045: No response after reset");
    EXPECT_EQ(PortFailureText("WriteFile", "/dev/ttyUSB0", kErrorAccessDenied),
              "WriteFile failed on \"/dev/ttyUSB0\"\r\nError 0x00000005: Access is denied.");
}

}  // namespace
}  // namespace rm7
