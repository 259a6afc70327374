// config save, restore and verify: the configuration jobs of the desktop application's
// Configuration page, from a terminal.
#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <ctime>
#include <iostream>

#include "cli/commands.h"
#include "cli/session.h"
#include "config/config_file.h"
#include "config/config_folder.h"
#include "config/file_classes.h"
#include "config/restore_machine.h"
#include "config/save_machine.h"
#include "platform/format.h"
#include "platform/paths.h"
#include "platform/result_codes.h"
#include "platform/settings.h"
#include "platform/text.h"

namespace rm7::cli {
namespace {

// Progress on standard error, a line at each quarter.
class CConsoleProgress final : public IProgressBar {
  public:
    CConsoleProgress(const char* what, bool quiet) : m_what(what), m_quiet(quiet) {}
    void SetRange(std::uint32_t steps) override {
        m_steps = steps;
        m_quarter = 0;
    }
    void SetPosition(std::uint32_t step) override {
        if (m_quiet || m_steps == 0) {
            return;
        }
        const std::uint32_t quarter = step * 4 / m_steps;
        if (quarter > m_quarter) {
            m_quarter = quarter;
            std::fprintf(stderr, "%s: %u%%\n", m_what, quarter * 25);
        }
    }

  private:
    const char* m_what;
    bool m_quiet;
    std::uint32_t m_steps = 0;
    std::uint32_t m_quarter = 0;
};

// Waits for the completion notice of a job this command started.

// The folder the desktop application last saved to or restored from, else the default one.
std::filesystem::path ConfigurationFolder() {
    CSettingsStore settings(SettingsFilePath());
    settings.Load();
    std::string folder;
    if (settings.ReadString("", kConfigurationFolderSetting, folder) == kOk && !folder.empty()) {
        std::error_code ec;
        if (std::filesystem::is_directory(folder, ec)) {
            return folder;
        }
    }
    return DefaultConfigurationFolder();
}

int RunSave(const GlobalOptions& options, const std::string& fileArg) {
    // The time the save began names the file and heads it.
    const SavedAtTime savedAt = SavedAtFromLocalTime(std::time(nullptr));
    CSession session(options);
    Result r = session.Contact();
    if (r != kOk) {
        return ReportFailure(r);
    }
    CModel& model = session.Model();
    const std::uint16_t serial = model.serialNumber.Get();
    const std::filesystem::path file = fileArg.empty()
                                           ? ConfigurationFolder() / ProposedConfigurationFileName(serial, savedAt)
                                           : std::filesystem::path(fileArg);

    CConfigSaveStateMachine machine(model);
    CConsoleProgress progress("Reading configuration", options.quiet);
    machine.SetProgressBar(&progress);
    r = CMachineRun(session).Run(machine, [&] { return machine.StartSave(); });
    if (r == kOk) {
        r = WriteConfigurationFile(file, savedAt, machine.Image(), {model.FirmwareVersionText(0), serial},
                                   model.Notifier());
    }
    if (r != kOk) {
        model.StatusText(kSaveFailedText);
        return ReportFailure(r);
    }
    model.StatusText(kConfigSavedText);
    if (options.json) {
        std::cout << nlohmann::json({{"file", file.string()},
                                     {"bytes", kConfigurationByteCount},
                                     {"serial_number",
                                      serial == kNoSerialNumber ? nlohmann::json(nullptr) : nlohmann::json(serial)},
                                     {"firmware_version", model.FirmwareVersionText(0)}})
                         .dump(2)
                  << "\n";
    } else {
        std::printf("%s\n", file.string().c_str());
    }
    return 0;
}

// The whole file in memory: it is checked twice (without and then with the radio's serial
// number), and must be the same bytes both times.
Result LoadFile(const std::filesystem::path& path, IUserNotifier& notifier, std::string& bytes) {
    CWholeFileReader file(&notifier, kConfigReadErrorCaption);
    const Result r = file.LoadAll(path);
    if (r == kOk) {
        bytes.assign(file.Data());
    }
    return r;
}

int RunRestore(const GlobalOptions& options, const std::string& path, bool advanced) {
    // Everything that can be checked without the radio is checked before the port is opened.
    CConsoleNotifier notifier(options.quiet, options.yes);
    std::string bytes;
    ConfigurationFileContents contents;
    Result r = LoadFile(path, notifier, bytes);
    if (r == kOk) {
        r = ReadConfigurationText(bytes, {kNoSerialNumber, false, &notifier}, contents);
    }
    if (r != kOk) {
        return ReportFailure(r);
    }

    CSession session(options);
    r = session.Contact();
    if (r != kOk) {
        return ReportFailure(r);
    }
    CModel& model = session.Model();
    // Now the serial number: a file of another radio needs --advanced and --yes.
    ConfigurationReadContext context{model.serialNumber.Get(), advanced, &notifier};
    r = ReadConfigurationText(bytes, context, contents);
    if (r != kOk) {
        return ReportFailure(r);
    }

    CConfigRestoreStateMachine machine(model);
    machine.SetRuns(std::move(contents.runs));
    CConsoleProgress progress("Writing configuration", options.quiet);
    machine.SetProgressBar(&progress);
    // Active, so that after the reset the contact machine finds the radio again and its result
    // is the outcome.
    r = CMachineRun(session).Run(machine, [&] { return machine.StartRestore(); });
    if (r != kOk) {
        model.StatusText(kRestoreFailedText);
        return ReportFailure(r);
    }
    model.StatusText(kConfigRestoredText);
    if (options.json) {
        std::cout << nlohmann::json({{"file", path}, {"bytes", machine.TotalLength()}, {"runs", machine.Runs().size()}})
                         .dump(2)
                  << "\n";
    }
    return 0;
}

std::string SavedAtText(const std::optional<SavedAtTime>& t) {
    if (!t) {
        return {};
    }
    return StrFormat("%04u-%02u-%02u %02u:%02u:%02u", t->year, t->month, t->day, t->hour, t->minute, t->second);
}

int RunVerify(const GlobalOptions& options, const std::string& path) {
    CConsoleNotifier notifier(options.quiet, false);
    ConfigurationFileContents contents;
    const Result r = ReadConfigurationFile(path, {kNoSerialNumber, false, &notifier}, contents);
    if (r != kOk) {
        return ReportFailure(r);
    }
    const auto ranges = DescribeRanges(contents.runs);
    std::size_t total = 0;
    for (const PageRun& run : contents.runs) {
        total += run.Length();
    }
    const std::string savedAt = SavedAtText(contents.savedAt);
    const auto orNull = [](const std::string& s) { return s.empty() ? nlohmann::json(nullptr) : nlohmann::json(s); };
    if (options.json) {
        nlohmann::json json = {
            {"file", path},
            {"saved_at", orNull(savedAt)},
            {"utility_version", orNull(contents.utilityVersion)},
            {"firmware_version", orNull(contents.firmwareVersion)},
            {"serial_number", contents.serialNumber ? nlohmann::json(*contents.serialNumber) : nlohmann::json(nullptr)},
            {"runs", contents.runs.size()},
            {"bytes", total},
        };
        nlohmann::json list = nlohmann::json::array();
        for (const auto& range : ranges) {
            list.push_back({{"start", StrFormat("0x%04X", range.range.start)},
                            {"length", range.range.length},
                            {"supplied", range.supplied}});
        }
        json["ranges"] = list;
        std::cout << json.dump(2) << "\n";
        return 0;
    }
    const auto orDash = [](const std::string& s) { return s.empty() ? std::string("(none)") : s; };
    std::printf("File:             %s\n", path.c_str());
    std::printf("Saved at:         %s\n", orDash(savedAt).c_str());
    std::printf("Utility version:  %s\n", orDash(contents.utilityVersion).c_str());
    std::printf("Firmware version: %s\n", orDash(contents.firmwareVersion).c_str());
    if (contents.serialNumber) {
        std::printf("Serial number:    %05u\n", *contents.serialNumber);
    } else {
        std::printf("Serial number:    (none: restores to any radio)\n");
    }
    std::printf("Bytes to write:   %zu in %zu runs\n", total, contents.runs.size());
    std::printf("Ranges:\n");
    for (const auto& range : ranges) {
        std::printf("  0x%04X-0x%04X  %3u bytes, %3zu in the file\n", range.range.start, range.range.End() - 1,
                    range.range.length, range.supplied);
    }
    return 0;
}

}  // namespace

void RegisterConfigCommands(CLI::App& app, const GlobalOptions& options, std::vector<Command>& commands) {
    auto* config = app.add_subcommand("config", "Save, restore or check the radio's configuration")->fallthrough();
    config->require_subcommand(1);

    auto saveFile = std::make_shared<std::string>();
    auto* save = config->add_subcommand("save", "Read the configuration from the radio into a file")->fallthrough();
    save->add_option("FILE", *saveFile,
                     "File to write (default: SNnnnnn.<date>T<time>.RM7Config in the configuration folder)");
    commands.push_back({save, [&options, saveFile] { return RunSave(options, *saveFile); }});

    auto restoreFile = std::make_shared<std::string>();
    auto advanced = std::make_shared<bool>(false);
    auto* restore = config->add_subcommand("restore", "Check a saved file, then write it into the radio and reset it")
                        ->fallthrough();
    restore->add_option("FILE", *restoreFile, "The configuration file")->required();
    restore->add_flag("--advanced", *advanced,
                      "Advanced mode for this run: a file of another radio (serial number) may be restored when "
                      "--yes is given too");
    commands.push_back(
        {restore, [&options, restoreFile, advanced] { return RunRestore(options, *restoreFile, *advanced); }});

    auto verifyFile = std::make_shared<std::string>();
    auto* verify =
        config->add_subcommand("verify", "Check a saved file without a radio and show what it holds")->fallthrough();
    verify->add_option("FILE", *verifyFile, "The configuration file")->required();
    commands.push_back({verify, [&options, verifyFile] { return RunVerify(options, *verifyFile); }});
}

}  // namespace rm7::cli
