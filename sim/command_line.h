#pragma once
// rm7-sim's command line, read into the radio's options: by rm7-sim itself, and by rm7util where
// the simulated radio runs inside it (--simulate on Windows).
#include <optional>
#include <string>

#include "sim/radio.h"

namespace rm7sim {

struct CommandLine {
    Options options;
    std::string stateFile;
    std::string linkPath;
    std::string makeFirmwareDir;
};

// Reads the command line into the radio's options; an exit status when the program ends here
// (--help, a bad option or value), after saying why on standard error.
std::optional<int> ParseCommandLine(int argc, char** argv, CommandLine& out);

}  // namespace rm7sim
