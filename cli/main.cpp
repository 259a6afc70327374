// rm7util: the RM7 Utility's jobs from a terminal, for scripts and headless stations.
#include "cli/command_line.h"
#include "cli/process_environment.h"

int main(int argc, char** argv) {
    rm7::cli::CProcessEnvironment env;
    return rm7::cli::RunCommandLine(env, argc, argv);
}
