// rm7util: the RM7 Utility's jobs from a terminal, for scripts and headless stations.
#include <CLI/CLI.hpp>

#include "cli/commands.h"
#include "cli/session.h"
#include "platform/program_version.h"
#include "platform/version.h"

namespace rm7::cli {

int Main(int argc, char** argv) {
    CLI::App app{std::string(kProductName) +
                     " from the command line: find the radio, load firmware, save and restore its "
                     "configuration.\nWithout --port the port saved by the desktop application is used; --simulate "
                     "runs against a simulated radio.",
                 "rm7util"};
    app.set_version_flag("--version", "rm7util " + ProgramVersionText());
    app.require_subcommand(1);
    GlobalOptions options;
    app.add_option("--port", options.port, "Serial device to use for this run (e.g. /dev/ttyUSB0)")->type_name("DEV");
    app.add_option("--speed", options.speed, "Serial speed: auto (search) or a fixed 4800, 9600, 19200, 38400")
        ->check(CLI::IsMember({"auto", "4800", "9600", "19200", "38400"}))
        ->type_name("BPS");
    app.add_option("--timeout", options.timeoutSec, "Seconds to look for the radio before giving up (default 10)")
        ->check(CLI::PositiveNumber)
        ->type_name("SEC");
    app.add_flag("--json", options.json, "Print results as JSON");
    app.add_flag("--simulate", options.simulate, "Start the simulated radio on a pty and use it");
    app.add_option("--sim-args", options.simArgs, "Options for the simulated radio, e.g. --sim-args=\"--speed 9600\"")
        ->type_name("ARGS");
    app.add_flag("-q,--quiet", options.quiet, "No progress lines on standard error");
    app.add_flag("--yes", options.yes, "Answer yes to the questions a job asks (where advanced mode allows it)");

    std::vector<Command> commands;
    RegisterContactCommands(app, options, commands);
    RegisterConfigCommands(app, options, commands);
    RegisterFirmwareCommands(app, options, commands);
    RegisterMemoriesCommands(app, options, commands);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    }
    for (const Command& command : commands) {
        if (command.sub->parsed()) {
            return command.run();
        }
    }
    return 1;
}

}  // namespace rm7::cli

int main(int argc, char** argv) {
    return rm7::cli::Main(argc, argv);
}
