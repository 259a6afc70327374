#include "platform/last_error.h"

namespace rm7 {

namespace {
thread_local Result t_lastError = kOk;
}

Result GetLastError() {
    return t_lastError;
}

void SetLastError(Result code) {
    t_lastError = code;
}

}  // namespace rm7
