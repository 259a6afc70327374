#pragma once
// The thread's last error: set by a failing port call or a refused start, read by the
// caller that needs the reason. One value per thread, like the operating system's own.
#include "platform/result.h"

namespace rm7 {

Result GetLastError();
void SetLastError(Result code);

}  // namespace rm7
