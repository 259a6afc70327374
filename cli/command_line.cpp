// rm7util's command line. Only the words are read here; the commands live beside it.
#include "cli/command_line.h"

#include <CLI/CLI.hpp>

#include <exception>
#include <functional>
#include <memory>
#include <vector>

#include "cli/commands.h"
#include "cli/usage.h"
#include "platform/format.h"
#include "platform/program_version.h"
#include "platform/text.h"
#include "platform/version.h"

namespace rm7::cli {
namespace {

constexpr const char* kFolderHelp =
    "Firmware folder (default: the one the desktop application uses, at first "
    "~/.local/share/Tarnwell/RM7 Firmware)";

struct Command {
    CLI::App* sub;
    std::function<int()> run;
};

void AddContactCommands(CLI::App& app, IEnvironment& env, const GlobalOptions& options,
                        std::vector<Command>& commands) {
    auto* ports = app.add_subcommand("ports", "List the serial devices of this machine")->fallthrough();
    commands.push_back({ports, [&env, &options] { return RunPorts(env, options); }});

    auto* info =
        app.add_subcommand("info", "Contact the radio and show its identity and firmware versions")->fallthrough();
    commands.push_back({info, [&env, &options] { return RunInfo(env, options); }});

    auto* doctor = app.add_subcommand("doctor",
                                      "Check what stands between you and the radio on the port, with what to do; "
                                      "exit status 0 when nothing does")
                       ->fallthrough();
    commands.push_back({doctor, [&env, &options] { return RunDoctor(env, options); }});

    auto text = std::make_shared<std::string>();
    auto waitMs = std::make_shared<std::uint32_t>(500);
    auto* send =
        app.add_subcommand("send",
                           "Send TEXT exactly as given (paced when it begins with ! or @) and print the radio's answer")
            ->fallthrough();
    send->add_option("TEXT", *text, "The command text, e.g. \"RVM;\"")->required();
    send->add_option("--wait", *waitMs, "Stop after this many ms without a byte (default 500)")->type_name("MS");
    commands.push_back({send, [&env, &options, text, waitMs] { return RunSend(env, options, *text, *waitMs); }});
}

void AddConfigCommands(CLI::App& app, IEnvironment& env, const GlobalOptions& options, std::vector<Command>& commands) {
    auto* config = app.add_subcommand("config", "Save, restore or check the radio's configuration")->fallthrough();
    config->require_subcommand(1);

    auto saveFile = std::make_shared<std::string>();
    auto* save = config->add_subcommand("save", "Read the configuration from the radio into a file")->fallthrough();
    save->add_option("FILE", *saveFile,
                     "File to write (default: SNnnnnn.<date>T<time>.RM7Config in the configuration folder)");
    commands.push_back({save, [&env, &options, saveFile] { return RunConfigSave(env, options, *saveFile); }});

    auto restoreFile = std::make_shared<std::string>();
    auto advanced = std::make_shared<bool>(false);
    auto* restore = config->add_subcommand("restore", "Check a saved file, then write it into the radio and reset it")
                        ->fallthrough();
    restore->add_option("FILE", *restoreFile, "The configuration file")->required();
    restore->add_flag("--advanced", *advanced,
                      "Advanced mode for this run: a file of another radio (serial number) may be restored when "
                      "--yes is given too");
    commands.push_back({restore, [&env, &options, restoreFile, advanced] {
                            return RunConfigRestore(env, options, *restoreFile, *advanced);
                        }});

    auto verifyFile = std::make_shared<std::string>();
    auto* verify =
        config->add_subcommand("verify", "Check a saved file without a radio and show what it holds")->fallthrough();
    verify->add_option("FILE", *verifyFile, "The configuration file")->required();
    commands.push_back({verify, [&env, &options, verifyFile] { return RunConfigVerify(env, options, *verifyFile); }});

    auto diffFile = std::make_shared<std::string>();
    auto diffOther = std::make_shared<std::string>();
    auto diffRadio = std::make_shared<bool>(false);
    auto* diff = config
                     ->add_subcommand("diff",
                                      "Show what differs between two saved files, or a file and the radio; exit "
                                      "status 0 when equal, 1 when they differ, 2 on an error")
                     ->fallthrough();
    diff->add_option("FILE", *diffFile, "The configuration file")->required();
    auto* other = diff->add_option("OTHER", *diffOther, "The configuration file to compare it with");
    diff->add_flag("--radio", *diffRadio, "Compare with the radio's configuration (read as config save does)")
        ->excludes(other);
    commands.push_back({diff, [&env, &options, diffFile, diffOther, diffRadio] {
                            return RunConfigDiff(env, options, *diffFile, *diffOther, *diffRadio);
                        }});
}

void AddFirmwareCommands(CLI::App& app, IEnvironment& env, const GlobalOptions& options,
                         std::vector<Command>& commands) {
    auto* firmware =
        app.add_subcommand("firmware", "Check firmware files, list the firmware folder and send firmware to the radio");
    firmware->require_subcommand(1)->fallthrough();

    auto files = std::make_shared<std::vector<std::string>>();
    auto kind = std::make_shared<std::string>("auto");
    auto* check = firmware
                      ->add_subcommand("check",
                                       "Read firmware files as the loader would: address range, size, version from "
                                       "the name, reconciliation value; exit status 1 when one would be refused")
                      ->fallthrough();
    check->add_option("FILE", *files, "Intel-hex firmware files (fmcu*.hex, fdsp*.hex)")->required();
    check->add_option("--kind", *kind, "Read every file as this processor's: auto (from the name), mcu or dsp")
        ->check(CLI::IsMember({"auto", "mcu", "dsp"}));
    commands.push_back(
        {check, [&env, &options, files, kind] { return RunFirmwareCheck(env, options, *files, *kind); }});

    auto mcu = std::make_shared<std::string>();
    auto dsp = std::make_shared<std::string>();
    auto* send = firmware
                     ->add_subcommand("send",
                                      "Contact the radio and load firmware: MCU first, then DSP (only after a good MCU "
                                      "load); exit status 0 only when every load completed and its version verified")
                     ->fallthrough();
    send->add_option("--mcu", *mcu, "MCU firmware file (fmcu*.hex)")->type_name("FILE");
    send->add_option("--dsp", *dsp, "DSP firmware file (fdsp*.hex)")->type_name("FILE");
    commands.push_back({send, [&env, &options, mcu, dsp] { return RunFirmwareSend(env, options, *mcu, *dsp); }});

    auto folder = std::make_shared<std::string>();
    auto* list = firmware
                     ->add_subcommand("list",
                                      "Contact the radio and show the versions it runs beside the newest fmcu and fdsp "
                                      "files of the firmware folder")
                     ->fallthrough();
    list->add_option("--folder", *folder, kFolderHelp)->type_name("DIR");
    commands.push_back({list, [&env, &options, folder] { return RunFirmwareList(env, options, *folder); }});

    auto* notes =
        firmware->add_subcommand("notes", "Print the firmware folder's release notes (ffwnotes.rtf) as plain text")
            ->fallthrough();
    notes->add_option("--folder", *folder, kFolderHelp)->type_name("DIR");
    commands.push_back({notes, [&env, &options, folder] { return RunFirmwareNotes(env, options, *folder); }});

    auto server = std::make_shared<std::string>();
    auto* fetch =
        firmware
            ->add_subcommand("fetch",
                             "Copy what the file server holds newer than the firmware folder into it; "
                             "each file is kept only if the loader (or the notes reader) takes it, and a refused "
                             "file makes the run fail (exit status 1); Ctrl-C stops it (exit status 130)")
            ->fallthrough();
    fetch->add_option("--folder", *folder, kFolderHelp)->type_name("DIR");
    fetch
        ->add_option("--server", *server,
                     "ftp://HOST, ftps://HOST or file:///PATH (default: the FileServer setting, else the maker's "
                     "server). The files are read from RM7/firmware/ below it, or for a file:// folder without "
                     "that, from the folder itself (rm7-sim --make-firmware DIR makes one)")
        ->type_name("URL");
    commands.push_back(
        {fetch, [&env, &options, folder, server] { return RunFirmwareFetch(env, options, *folder, *server); }});

    auto sendAll = std::make_shared<bool>(false);
    auto* update =
        firmware
            ->add_subcommand("update",
                             "Contact the radio and send what the firmware folder holds newer than it runs, "
                             "MCU first, DSP after a good MCU load; exit status 0 also when nothing is newer")
            ->fallthrough();
    update->add_option("--folder", *folder, kFolderHelp)->type_name("DIR");
    update->add_flag("--all", *sendAll, "Send the folder's newest MCU and DSP firmware even when the radio runs them");
    commands.push_back(
        {update, [&env, &options, folder, sendAll] { return RunFirmwareUpdate(env, options, *sendAll, *folder); }});
}

void AddMemoriesCommands(CLI::App& app, IEnvironment& env, const GlobalOptions& options,
                         std::vector<Command>& commands) {
    auto* banner =
        app.add_subcommand("banner", "Read or change the text the radio shows when switched on")->fallthrough();
    banner->require_subcommand(1);
    auto* bannerGet = banner->add_subcommand("get", "Print the power-on banner")->fallthrough();
    commands.push_back({bannerGet, [&env, &options] { return RunBannerGet(env, options); }});
    auto bannerText = std::make_shared<std::string>();
    auto* bannerSet =
        banner
            ->add_subcommand("set", "Write a new power-on banner (upper case, at most 22 characters) and read it back")
            ->fallthrough();
    bannerSet->add_option("TEXT", *bannerText, "The banner; \"\" for none")->required();
    commands.push_back({bannerSet, [&env, &options, bannerText] { return RunBannerSet(env, options, *bannerText); }});

    auto* cw = app.add_subcommand("cw", "Read or change the radio's CW memories M1 to M6")->fallthrough();
    cw->require_subcommand(1);
    auto* cwGet = cw->add_subcommand("get", "Print the six CW memories")->fallthrough();
    commands.push_back({cwGet, [&env, &options] { return RunCwGet(env, options); }});
    auto cwMemory = std::make_shared<int>(1);
    auto cwText = std::make_shared<std::string>();
    auto* cwSet =
        cw->add_subcommand("set", "Write one CW memory (at most 250 characters the radio can send) and read it back")
            ->fallthrough();
    cwSet->add_option("N", *cwMemory, "The memory, 1 to 6")->required()->check(CLI::Range(1, 6));
    cwSet->add_option("TEXT", *cwText, "The text; ~ is a half space, | the IM sign, \"\" empties the memory")
        ->required();
    commands.push_back(
        {cwSet, [&env, &options, cwMemory, cwText] { return RunCwSet(env, options, *cwMemory, *cwText); }});

    auto* macros = app.add_subcommand("macros",
                                      "Read, change or send the command tester's sixteen macros "
                                      "(1 to 8 kept in the radio, 9 to 16 in the settings)")
                       ->fallthrough();
    macros->require_subcommand(1);
    auto* macrosGet =
        macros->add_subcommand("get", "Print the sixteen macros: 1 to 8 read from the radio, 9 to 16 from the settings")
            ->fallthrough();
    commands.push_back({macrosGet, [&env, &options] { return RunMacrosGet(env, options); }});
    auto macroNumber = std::make_shared<int>(1);
    auto macroLabel = std::make_shared<std::string>();
    auto macroText = std::make_shared<std::string>();
    auto* macrosSet =
        macros
            ->add_subcommand("set",
                             "Change macro N: 1 to 8 are written to the radio (label at most 8 characters, commands "
                             "at most 120, upper-cased, ISO-8859-1 only) and read back; 9 to 16 go to the settings")
            ->fallthrough();
    macrosSet->add_option("N", *macroNumber, "The macro, 1 to 16")->required()->check(CLI::Range(1, 16));
    macrosSet->add_option("LABEL", *macroLabel, "The button's label; \"\" for MACRO<N>")->required();
    macrosSet->add_option("TEXT", *macroText, "The radio commands, e.g. \"FA00014060000;MD3;\"")->required();
    commands.push_back({macrosSet, [&env, &options, macroNumber, macroLabel, macroText] {
                            return RunMacrosSet(env, options, *macroNumber, *macroLabel, *macroText);
                        }});
    auto macroWait = std::make_shared<std::uint32_t>(500);
    auto* macrosRun =
        macros->add_subcommand("run", "Send macro N's commands as its button does and print the radio's answer")
            ->fallthrough();
    macrosRun->add_option("N", *macroNumber, "The macro, 1 to 16")->required()->check(CLI::Range(1, 16));
    macrosRun->add_option("--wait", *macroWait, "Stop after this many ms without a byte (default 500)")
        ->type_name("MS");
    commands.push_back({macrosRun, [&env, &options, macroNumber, macroWait] {
                            return RunMacrosRun(env, options, *macroNumber, *macroWait);
                        }});

    auto clockOptions = std::make_shared<ClockOptions>();
    auto* clock = app.add_subcommand("clock", "Read or set the radio's clock (hours, minutes, seconds)")->fallthrough();
    clock->require_subcommand(1);
    auto* clockGet =
        clock->add_subcommand("get", "Print the radio's time, the computer's and the difference")->fallthrough();
    clockGet->add_flag("--local", clockOptions->local, "Compare with local time rather than UTC");
    commands.push_back({clockGet, [&env, &options, clockOptions] { return RunClockGet(env, options, *clockOptions); }});
    auto* clockSet =
        clock
            ->add_subcommand("set",
                             "Set the radio's clock to the computer's UTC time through its time menu; exit status 0 "
                             "only when the radio then shows the computer's time within a second. Only the time of "
                             "day is set: when the two clocks lie on either side of midnight the radio's date would "
                             "be a day off, so the set is refused (see --across-midnight)")
            ->fallthrough();
    clockSet->add_flag("--local", clockOptions->local, "Set the radio to local time rather than UTC");
    clockSet->add_flag("--across-midnight", clockOptions->acrossMidnight,
                       "Set the time even across midnight; the radio's date is then yours to set on the radio");
    commands.push_back({clockSet, [&env, &options, clockOptions] { return RunClockSet(env, options, *clockOptions); }});
}

void AddTerminalCommand(CLI::App& app, IEnvironment& env, const GlobalOptions& options,
                        std::vector<Command>& commands) {
    auto terminalOptions = std::make_shared<TerminalOptions>();
    auto* terminal = app.add_subcommand("terminal",
                                        "The radio's CW, RTTY and PSK text modes: what you type is keyed (Ctrl+T "
                                        "transmits or stops, Esc stops, Ctrl+D ends), what the radio decodes is "
                                        "printed. With --send, keys TEXT and exits 0 once the radio has sent it")
                         ->fallthrough();
    terminal->add_option("--mode", terminalOptions->mode, "cw, rtty or psk (default: the Terminal page's)")
        ->check(CLI::IsMember({"cw", "rtty", "psk"}, CLI::ignore_case))
        ->type_name("MODE");
    terminal->add_option("--send", terminalOptions->send, "Key TEXT with transmission on, then stop")
        ->type_name("TEXT");
    commands.push_back(
        {terminal, [&env, &options, terminalOptions] { return RunTerminal(env, options, *terminalOptions); }});
}

void AddCalibrateCommands(CLI::App& app, IEnvironment& env, const GlobalOptions& options,
                          std::vector<Command>& commands) {
    auto* calibrate =
        app.add_subcommand("calibrate",
                           "TX gain calibration: keys a TUNE carrier at 4 W and 6 W on eleven bands into a dummy "
                           "load on ANT 1, then puts every setting back. Needs --yes (a dummy load of 6 W or more "
                           "is connected); exit status 0 only when the calibration succeeded")
            ->fallthrough();
    commands.push_back({calibrate, [&env, &options] { return RunCalibrate(env, options); }});
}

// `rm7util help [COMMAND...]`: the help of that command, as `rm7util COMMAND --help` shows it.
void AddHelpCommand(CLI::App& app, IEnvironment& env, std::vector<Command>& commands) {
    auto words = std::make_shared<std::vector<std::string>>();
    auto all = std::make_shared<bool>(false);
    auto* help = app.add_subcommand("help", "Show the help of a command (rm7util help firmware send)");
    help->add_option("COMMAND", *words, "The command, and the command under it");
    help->add_flag("--all", *all, "The help of every command, one after another (as the man page holds it)");
    commands.push_back(
        {help, [&env, &app, words, all] { return PrintCommandHelp(app, *words, *all, env.Out(), env.Err()); }});
}

}  // namespace

int RunCommandLine(IEnvironment& processEnv, int argc, const char* const* argv) {
    CCommandEnvironment env(processEnv);
    CLI::App app{std::string(kProductName) +
                     " from the command line: find the radio, load firmware, save, restore and compare its "
                     "configuration, calibrate its transmitter, edit its memories, macros and banner, set its "
                     "clock and work its text modes.\nWithout --port the port named by RM7_PORT, else the one saved by "
                     "the desktop application is used; --simulate runs against a simulated radio.",
                 "rm7util"};
    app.set_version_flag("--version", "rm7util " + ProgramVersionText());
    app.require_subcommand(1);
    GlobalOptions options;
    app.add_option("-p,--port", options.port,
                   "Serial device to use for this run (e.g. /dev/ttyUSB0), or a serial port on the network: "
                   "rfc2217://HOST:PORT (speed set at the far end) or tcp://HOST:PORT (speed fixed there; --speed "
                   "says which); without it RM7_PORT from the environment, else the port saved by the desktop "
                   "application")
        ->envname("RM7_PORT")
        ->type_name("DEV");
    app.add_option("--speed", options.speed, "Serial speed: auto (search) or a fixed 4800, 9600, 19200, 38400")
        ->check(CLI::IsMember({"auto", "4800", "9600", "19200", "38400"}))
        ->type_name("BPS");
    app.add_option("--timeout", options.timeoutSec,
                   "Seconds to look for the radio before giving up, 1 to 3600 (default 10)")
        ->check(TimeoutValidator())
        ->type_name("SEC");
    app.add_flag("--json", options.json, "Print results as JSON");
    app.add_flag("--simulate", options.simulate, kSimulateHelp);
    app.add_option("--sim-args", options.simArgs,
                   "Options for the simulated radio, split as a shell would, e.g. --sim-args=\"--speed 9600 "
                   "--rx-text 'CQ CQ'\"")
        ->check(CLI::Validator(
            [](std::string& value) {
                std::vector<std::string> words;
                std::string why;
                return SplitShellWords(value, words, why) ? std::string() : why;
            },
            ""))
        ->type_name("ARGS");
    app.add_flag("-q,--quiet", options.quiet, "No progress lines on standard error");
    app.add_flag("--yes", options.yes, "Answer yes to the questions a job asks (where advanced mode allows it)");
    app.add_flag("--no-backup", options.noBackup,
                 "No configuration backup before a firmware load, a restore or a calibration");

    std::vector<Command> commands;
    AddContactCommands(app, env, options, commands);
    AddConfigCommands(app, env, options, commands);
    AddFirmwareCommands(app, env, options, commands);
    AddMemoriesCommands(app, env, options, commands);
    AddTerminalCommand(app, env, options, commands);
    AddCalibrateCommands(app, env, options, commands);
    AddHelpCommand(app, env, commands);
    DescribeConventions(app);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return ReportParseError(app, e, env.Out(), env.Err());
    }
    for (const Command& command : commands) {
        if (command.sub->parsed()) {
            return RunCommand(env, options, CommandName(*command.sub), command.run);
        }
    }
    return 1;
}

}  // namespace rm7::cli
