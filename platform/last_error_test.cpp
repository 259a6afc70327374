#include "platform/last_error.h"

#include <gtest/gtest.h>

#include <thread>

namespace rm7 {
namespace {

TEST(LastError, IsPerThread) {
    SetLastError(kErrorAccessDenied);
    Result seenByOther = 1;
    std::thread other([&] {
        seenByOther = GetLastError();
        SetLastError(kErrorInvalidHandle);
    });
    other.join();
    EXPECT_EQ(seenByOther, kOk);
    EXPECT_EQ(GetLastError(), kErrorAccessDenied);
}

}  // namespace
}  // namespace rm7
