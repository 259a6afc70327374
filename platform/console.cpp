#include "platform/console.h"

#include <unistd.h>

namespace rm7 {

bool StderrIsTerminal() {
    return ::isatty(STDERR_FILENO) == 1;
}

}  // namespace rm7
