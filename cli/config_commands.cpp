// config save, restore and verify: the configuration jobs of the desktop application's
// Configuration page, from a terminal.
#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <optional>

#include "cli/commands.h"
#include "cli/job_views.h"
#include "cli/json_output.h"
#include "cli/session.h"
#include "config/compare_job.h"
#include "config/config_diff.h"
#include "config/config_file.h"
#include "config/config_folder.h"
#include "config/file_classes.h"
#include "config/restore_job.h"
#include "config/save_job.h"
#include "link/job_run.h"
#include "platform/format.h"
#include "platform/os_error.h"
#include "platform/paths.h"
#include "platform/result_codes.h"
#include "platform/settings.h"
#include "platform/text.h"

namespace rm7::cli {
namespace {

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

}  // namespace

int RunConfigSave(IEnvironment& env, const GlobalOptions& options, const std::string& fileArg) {
    // The time the save began names the file and heads it.
    const SavedAtTime savedAt = SavedAtFromLocalTime(std::time(nullptr));
    // A file that cannot be written is found before the radio is read for it.
    if (!fileArg.empty()) {
        if (const WriteObstacle o = FindWriteObstacle(fileArg); o.error != 0) {
            // The codes the writer itself gives: a missing folder, a folder in the file's place.
            const Result r = o.error == ENOENT ? kErrorPathNotFound : ResultFromErrno(o.error);
            RecordFailure(r, std::strerror(o.error));
            SayFailure(env.Err(), o.path.string(), std::strerror(o.error));
            return 1;
        }
    }
    return RunOnRadio(env, options, [&](CSession& session, CTerminalJobView& view) {
        CModel& model = session.Model();
        const std::uint16_t serial = model.serialNumber.Get();
        CConfigSaveJob job(session.Radio(), view, nullptr, savedAt, [] { return DefaultConfigurationFolder(); });
        const std::filesystem::path file =
            fileArg.empty() ? ConfigurationFolder() / job.ProposedName() : std::filesystem::path(fileArg);
        const int status = RunJobToOutcome(session, job.Shell(), view, [&] { job.Start(file); });
        view.PrintJsonOutcome(
            {{"file", JsonPath(file)},
             {"bytes", kConfigurationByteCount},
             {"serial_number", serial == kNoSerialNumber ? nlohmann::json(nullptr) : nlohmann::json(serial)},
             {"firmware_version", model.FirmwareVersionText(0)}});
        if (status == 0 && !options.json) {
            env.Out() << StrFormat("%s\n", file.string().c_str());
        }
        return status;
    });
}

namespace {

// The whole file in memory: it is checked twice (without and then with the radio's serial
// number), and must be the same bytes both times.
Result LoadFile(const std::filesystem::path& path, std::string& bytes) {
    CWholeFileReader file;
    const Result r = file.LoadAll(path);
    if (r == kOk) {
        bytes.assign(file.Data());
    }
    return r;
}

}  // namespace

int RunConfigRestore(IEnvironment& env, const GlobalOptions& options, const std::string& path, bool advanced) {
    // Everything that can be checked without the radio is checked before the port is opened.
    if (!ConfigurationFileToRead(env.Err(), path)) {
        return 1;
    }
    CConsoleNotifier notifier(env.Err(), options.quiet, options.yes);
    std::string bytes;
    ConfigurationFileContents contents;
    Result r = LoadFile(path, bytes);
    if (r != kOk) {
        return ReportFileFailure(env.Err(), r, path);
    }
    r = ReadConfigurationText(bytes, {kNoSerialNumber, false, &notifier}, contents);
    if (r != kOk) {
        return ReportFailure(env.Err(), r);
    }

    return RunOnRadio(env, options, [&](CSession& session, CTerminalJobView& view) {
        CModel& model = session.Model();
        // Now the serial number: a file of another radio needs --advanced and --yes.
        const std::optional<std::uint16_t> fileSerial = contents.serialNumber;
        ConfigurationReadContext context{model.serialNumber.Get(), advanced, &notifier};
        r = ReadConfigurationText(bytes, context, contents);
        if (r != kOk) {
            const int status = ReportFailure(env.Err(), r);
            if (r == kErrConfigSerialMismatch && fileSerial) {
                // The dialog's Yes and No mean nothing here: say which options go on.
                env.Err() << StrFormat("The file is of the radio with serial number %05u; this radio's is %05u. %s\n",
                                       *fileSerial, model.serialNumber.Get(),
                                       advanced ? "Add --yes to restore it all the same."
                                       : options.yes
                                           ? "--yes alone is not enough: add --advanced to restore it all the same."
                                           : "Give --advanced and --yes to restore it all the same.");
            }
            return status;
        }

        CConfigRestoreJob job(session.Radio(), view, nullptr, {}, BackupSettings(options));
        const std::size_t runs = contents.runs.size();
        const int status =
            RunJobToOutcome(session, job.Shell(), view, [&] { job.Start(std::move(contents.runs), path); });
        view.PrintJsonOutcome({{"file", JsonText(path)}, {"bytes", job.Machine().TotalLength()}, {"runs", runs}});
        return status;
    });
}

namespace {

std::string SavedAtText(const std::optional<SavedAtTime>& t) {
    if (!t) {
        return {};
    }
    return StrFormat("%04u-%02u-%02u %02u:%02u:%02u", t->year, t->month, t->day, t->hour, t->minute, t->second);
}

}  // namespace

int RunConfigVerify(IEnvironment& env, const GlobalOptions& options, const std::string& path) {
    if (!ConfigurationFileToRead(env.Err(), path)) {
        return 1;
    }
    CConsoleNotifier notifier(env.Err(), options.quiet, false);
    ConfigurationFileContents contents;
    const Result r = ReadConfigurationFile(path, {kNoSerialNumber, false, &notifier}, contents);
    if (r != kOk) {
        return ReportFileFailure(env.Err(), r, path);
    }
    const auto ranges = DescribeRanges(contents.runs);
    std::size_t total = 0;
    for (const PageRun& run : contents.runs) {
        total += run.Length();
    }
    const std::string savedAt = SavedAtText(contents.savedAt);
    const auto orNull = [](const std::string& s) { return s.empty() ? nlohmann::json(nullptr) : JsonText(s); };
    if (options.json) {
        nlohmann::json json = {
            {"file", JsonText(path)},
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
        PrintJson(env.Out(), json);
        return 0;
    }
    const auto orDash = [](const std::string& s) { return s.empty() ? std::string("(none)") : s; };
    env.Out() << StrFormat("File:             %s\n", path.c_str());
    // What the file says of itself is outside text.
    env.Out() << StrFormat("Saved at:         %s\n", SafeToPrint(orDash(savedAt)).c_str());
    env.Out() << StrFormat("Utility version:  %s\n", SafeToPrint(orDash(contents.utilityVersion)).c_str());
    env.Out() << StrFormat("Firmware version: %s\n", SafeToPrint(orDash(contents.firmwareVersion)).c_str());
    if (contents.serialNumber) {
        env.Out() << StrFormat("Serial number:    %05u\n", *contents.serialNumber);
    } else {
        env.Out() << StrFormat("Serial number:    (none: restores to any radio)\n");
    }
    env.Out() << StrFormat("Bytes to write:   %zu in %zu runs\n", total, contents.runs.size());
    env.Out() << StrFormat("Ranges:\n");
    for (const auto& range : ranges) {
        env.Out() << StrFormat("  0x%04X-0x%04X  %3u bytes, %3zu in the file\n", range.range.start,
                               range.range.End() - 1, range.range.length, range.supplied);
    }
    return 0;
}

namespace {

nlohmann::json SerialJson(const std::optional<std::uint16_t>& serial) {
    return serial ? nlohmann::json(*serial) : nlohmann::json(nullptr);
}

nlohmann::json HexJson(const std::vector<std::uint8_t>& bytes) {
    std::string hex;
    for (const std::uint8_t b : bytes) {
        hex += StrFormat("%02X", b);
    }
    return hex;
}

nlohmann::json DifferenceJson(const ConfigurationDifference& diff, const nlohmann::json& left,
                              const nlohmann::json& right) {
    nlohmann::json ranges = nlohmann::json::array();
    for (const RangeDifference& range : diff.ranges) {
        nlohmann::json runs = nlohmann::json::array();
        for (const ByteDifference& run : range.runs) {
            nlohmann::json item = {{"address", StrFormat("0x%04X", run.address)},
                                   {"length", run.left.size()},
                                   {"area", run.area.empty() ? nlohmann::json(nullptr) : JsonText(run.area)},
                                   {"left", HexJson(run.left)},
                                   {"right", HexJson(run.right)}};
            if (run.leftText && run.rightText) {
                item["left_text"] = JsonText(*run.leftText);
                item["right_text"] = JsonText(*run.rightText);
            }
            runs.push_back(item);
        }
        ranges.push_back({{"start", StrFormat("0x%04X", range.range.start)},
                          {"end", StrFormat("0x%04X", range.range.End() - 1)},
                          {"runs", runs}});
    }
    return {{"left", left},
            {"right", right},
            {"equal", diff.Equal()},
            {"serial_number", {{"left", SerialJson(diff.leftSerial)}, {"right", SerialJson(diff.rightSerial)}}},
            {"ranges", ranges}};
}

}  // namespace

int RunConfigDiff(IEnvironment& env, const GlobalOptions& options, const std::string& file, const std::string& other,
                  bool radio) {
    if (radio == !other.empty()) {
        env.Err() << "config diff: give either a second file or --radio\n";
        return 2;
    }
    CConsoleNotifier notifier(env.Err(), options.quiet, false);
    ConfigurationSide left;
    ConfigurationSide right;
    for (const auto& [path, side] : {std::pair{&file, &left}, std::pair{&other, &right}}) {
        if (path->empty()) {
            continue;
        }
        if (!ConfigurationFileToRead(env.Err(), *path)) {
            return 2;
        }
        if (const Result r = ReadConfigurationSide(*path, &notifier, *side); r != kOk) {
            ReportFileFailure(env.Err(), r, *path);
            return 2;
        }
    }
    if (radio) {
        // The desktop program's "Compare with Radio..." job; diff's own statuses: 0 the same, 1
        // different, 2 trouble (130 stopped).
        bool contacted = false;
        const int status = RunOnRadio(env, options, [&](CSession& session, CTerminalJobView& view) {
            contacted = true;
            CConfigCompareJob job(session.Radio(), view, nullptr, [] { return DefaultConfigurationFolder(); });
            const int status = RunJobToOutcome(session, job.Shell(), view, [&] {
                (void)job.Begin(
                    [&](const std::filesystem::path&) { return std::optional<std::filesystem::path>(file); });
            });
            if (status != 0) {
                return status == kExitStopped ? status : 2;
            }
            const ConfigurationDifference& diff = job.Difference();
            if (options.json) {
                PrintJson(env.Out(), DifferenceJson(diff, JsonText(file), "radio"));
            } else {
                env.Out() << job.DifferenceText();
            }
            return diff.Equal() ? 0 : 1;
        });
        // No radio to compare with is trouble, not a difference.
        return contacted ? status : 2;
    }
    const ConfigurationDifference diff = CompareConfigurations(left, right);
    if (options.json) {
        PrintJson(env.Out(), DifferenceJson(diff, JsonText(file), JsonText(other)));
    } else {
        env.Out() << ConfigurationDifferenceText(diff, file, other);
    }
    return diff.Equal() ? 0 : 1;
}

}  // namespace rm7::cli
