#pragma once
// errno turned into the system's result codes, and the texts of those codes.
#include "platform/result.h"

#include <string>

namespace rm7 {

// The result code for a failed system call's errno. Never 0: an errno without a closer match is
// ERROR_GEN_FAILURE (31).
Result ResultFromErrno(int err);

// The operating-system text of a code ("Access is denied."), also for its HRESULT form
// 0x8007xxxx; empty when the code has none.
std::string SystemErrorText(Result code);

}  // namespace rm7
