#include "platform/error_text.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <regex>
#include <sstream>

#include "platform/os_error.h"
#include "platform/result.h"
#include "platform/result_codes.h"

namespace rm7 {
namespace {

TEST(ErrorText, OwnCodesHaveTheirTextsWithoutLineBreaks) {
    const std::pair<Result, const char*> cases[] = {
        {kErrNoResponseAfterReset, "No response after reset"},
        {kErrUnexpectedDevice, "Unexpected device (e.g. R5 vs RM7)"},
        // The radio is named by the one model name, never as another model.
        {kErrTxNorm, "RM7 must be in \"TX NORM\" for TX Gain Calibration"},
        {kErrCwMemoryTooLong, "Message is longer than an RM7 CW Memory"},
        {kErrClockNotFollowing, "RM7 time did not follow the time menu steps; the RM7 clock was not set"},
        {kWarnReconciliationZero, "The computed checksum reconciliation word is zero"},
        {kErrNoResponseXT, "No response to XIT (XT)"},
        {kErrorAccessDenied, "Permission denied"},
        {kErrorBusy, "Device or resource busy"},
        {kErrorFileNotFound, "No such file or directory"},
        {kErrorCancelled, "The operation was cancelled"},
    };
    for (const auto& [code, text] : cases) {
        EXPECT_EQ(ErrorText(code), text) << std::hex << code;
    }
}

// Every code the headers declare, read from the headers themselves so that a code added
// without a text fails here.
std::vector<std::pair<std::string, Result>> DeclaredCodes() {
    std::vector<std::pair<std::string, Result>> codes;
    const std::regex declaration(R"(constexpr\s+Result\s+(k\w+)\s*=\s*(0x[0-9A-Fa-f]+|\d+)\s*;)");
    for (const char* header : {"/platform/result.h", "/platform/result_codes.h"}) {
        std::ifstream in(std::string(RM7_SOURCE_DIR) + header);
        std::stringstream text;
        text << in.rdbuf();
        const std::string all = text.str();
        EXPECT_FALSE(all.empty()) << header;
        for (std::sregex_iterator it(all.begin(), all.end(), declaration), end; it != end; ++it) {
            codes.emplace_back((*it)[1].str(), static_cast<Result>(std::stoul((*it)[2].str(), nullptr, 0)));
        }
    }
    return codes;
}

TEST(ErrorText, EveryCodeTheProgramCanReturnHasAText) {
    const auto codes = DeclaredCodes();
    EXPECT_GT(codes.size(), 100u) << "the headers were not read";
    for (const auto& [name, code] : codes) {
        const std::string text = ErrorText(code);
        EXPECT_FALSE(text.empty()) << name;
        EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos) << name;
        // No text names the radio as another model, nor leaves its model name unfilled.
        EXPECT_EQ(text.find("%s"), std::string::npos) << name;
        EXPECT_EQ(text.find("R5 must"), std::string::npos) << name;
        EXPECT_EQ(text.find("a R5"), std::string::npos) << name;
    }
    // Whatever errno a system call leaves, its code has a text.
    for (int err = 0; err < 200; ++err) {
        EXPECT_FALSE(ErrorText(ResultFromErrno(err)).empty()) << "errno " << err;
    }
}

TEST(ErrorText, UnknownCodesAreEmptyAndFormatsStillShowTheCode) {
    EXPECT_EQ(ErrorText(0xE2000001), "");
    EXPECT_EQ(ErrorText(0xA2001234), "");
    EXPECT_EQ(ErrorCodeText(0xE2000001), "Error code 0xE2000001: ");
    EXPECT_EQ(ErrorCodeText(kErrNoResponseAfterReset), "Error code 0xE2000045: No response after reset");
    EXPECT_EQ(ErrorCodeText(0x80070002u), "Error code 0x80070002: No such file or directory");
}

}  // namespace
}  // namespace rm7
