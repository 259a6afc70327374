#pragma once
// Each group of rm7util commands registers its sub-commands and what runs them.
#include <functional>
#include <vector>

#include "cli/session.h"

namespace CLI {
class App;
}

namespace rm7::cli {

struct Command {
    CLI::App* sub;
    std::function<int()> run;
};

void RegisterContactCommands(CLI::App& app, const GlobalOptions& options, std::vector<Command>& commands);
void RegisterConfigCommands(CLI::App& app, const GlobalOptions& options, std::vector<Command>& commands);
void RegisterFirmwareCommands(CLI::App& app, const GlobalOptions& options, std::vector<Command>& commands);
void RegisterMemoriesCommands(CLI::App& app, const GlobalOptions& options, std::vector<Command>& commands);

}  // namespace rm7::cli
