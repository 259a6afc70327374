#pragma once
// rm7util's command line: reads the words, runs the command they name and gives the exit status.
// A usage mistake is said on standard error and ends with status 2.
#include "cli/environment.h"

namespace rm7::cli {

int RunCommandLine(IEnvironment& env, int argc, const char* const* argv);

}  // namespace rm7::cli
