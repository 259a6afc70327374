// firmware check, send, list and update: the Firmware page's checks and loads from a terminal.
#include <nlohmann/json.hpp>

#include <algorithm>
#include <memory>
#include <optional>

#include "cli/commands.h"
#include "cli/job_views.h"
#include "cli/json_output.h"
#include "cli/session.h"
#include "firmware/file_server_copy_job.h"
#include "firmware/file_version.h"
#include "firmware/firmware_check.h"
#include "firmware/firmware_folder.h"
#include "firmware/ftp_copy.h"
#include "firmware/loader_job.h"
#include "firmware/release_notes.h"
#include "model/firmware_version.h"
#include "platform/error_text.h"
#include "platform/text.h"
#include "platform/version.h"

namespace rm7::cli {
namespace {

// The machines end by themselves (every wait has its time-out); this only guards against a
// radio that keeps answering nonsense for ever.
constexpr std::uint32_t kLoadLimitMs = 60 * 60 * 1000;

std::string VersionOfFile(std::uint16_t version) {
    return StrFormat("%02u.%02u", version / 100u, version % 100u);
}

const char* KindName(FirmwareKind kind) {
    switch (kind) {
        case FirmwareKind::Mcu:
            return kMcuPartName;
        case FirmwareKind::Dsp:
            return kDspPartName;
        case FirmwareKind::Unknown:
            break;
    }
    return "unknown";
}

std::string Range(std::uint64_t low, std::uint64_t high) {
    return StrFormat("0x%06llX-0x%06llX", static_cast<unsigned long long>(low),
                     static_cast<unsigned long long>(high == 0 ? 0 : high - 1));
}

std::uint16_t Swapped(std::uint16_t word) {
    return static_cast<std::uint16_t>((word >> 8) | ((word & 0xFF) << 8));
}

std::string RefusalText(const FirmwareFileCheck& check) {
    std::string text = StrFormat(kFirmwareFileErrorFormat, check.line, check.result, ErrorText(check.result).c_str());
    const ReconciliationInfo& info = check.reconciliation;
    if (check.result == kErrHexImageChecksum && info.outcome == ReconciliationOutcome::Corrupt) {
        // The file reads well; only its stored reconciliation value is wrong for the image. The
        // word is summed high byte first, so it is stored (and shown) byte-swapped.
        const auto rest = static_cast<std::uint16_t>(info.sum - Swapped(info.stored));
        const auto wanted = Swapped(static_cast<std::uint16_t>(0x10000u - rest));
        text += StrFormat(
            "\n  The image's reconciliation value 0x%X does not match the image (it sums to 0x%X, not "
            "zero); 0x%X would.",
            info.stored, info.sum, wanted);
    }
    return text;
}

// The reconciliation word as the loader would find or make it.
std::string ReconciliationText(const ReconciliationInfo& info) {
    switch (info.outcome) {
        case ReconciliationOutcome::Verified:
            return StrFormat("0x%X stored; the image sums to zero", info.stored);
        case ReconciliationOutcome::ZeroValue:
            return "zero, and the image already sums to zero (a development image)";
        case ReconciliationOutcome::Computed:
            return StrFormat("none stored; 0x%X would be computed", info.computed);
        case ReconciliationOutcome::Corrupt:
            return StrFormat("0x%X stored, but the image sums to 0x%X", info.stored, info.sum);
        case ReconciliationOutcome::NotAnImage:
            break;
    }
    return "";
}

const char* ReconciliationName(ReconciliationOutcome outcome) {
    switch (outcome) {
        case ReconciliationOutcome::Verified:
            return "stored";
        case ReconciliationOutcome::ZeroValue:
            return "zero";
        case ReconciliationOutcome::Computed:
            return "computed";
        case ReconciliationOutcome::Corrupt:
            return "corrupt";
        case ReconciliationOutcome::NotAnImage:
            break;
    }
    return "none";
}

nlohmann::json CheckJson(const std::string& file, const FirmwareFileCheck& c) {
    nlohmann::json out = {
        {"file", JsonText(file)},
        {"kind", KindName(c.kind)},
        {"version", VersionOfFile(c.version)},
        {"accepted", c.result == kOk},
    };
    if (c.fileHasData) {
        out["data_low"] = c.fileLow;
        out["data_high"] = c.fileHigh;
    }
    if (c.imageRead) {
        out["image_low"] = c.imageLow;
        out["image_high"] = c.imageHigh;
        out["image_size"] = c.imageSize;
        out["dropped_bytes"] = c.droppedBytes;
    }
    if (c.kind == FirmwareKind::Mcu && c.reconciliation.outcome != ReconciliationOutcome::NotAnImage) {
        const ReconciliationInfo& r = c.reconciliation;
        out["reconciliation"] = {{"outcome", ReconciliationName(r.outcome)},
                                 {"stored", r.stored},
                                 {"value", r.outcome == ReconciliationOutcome::Computed ? r.computed : r.stored},
                                 {"sum", r.sum}};
    }
    if (c.result != kOk) {
        out["error"] = {{"line", c.line}, {"code", c.result}, {"text", ErrorText(c.result)}};
    }
    return out;
}

}  // namespace

int RunFirmwareCheck(IEnvironment& env, const GlobalOptions& options, const std::vector<std::string>& files,
                     const std::string& kindArg) {
    int status = 0;
    nlohmann::json all = nlohmann::json::array();
    for (const std::string& file : files) {
        const FirmwareKind kind = kindArg == "mcu"   ? FirmwareKind::Mcu
                                  : kindArg == "dsp" ? FirmwareKind::Dsp
                                                     : FirmwareKindFromName(file);
        if (const std::string why = InputFileProblem(file); !why.empty()) {
            status = 1;
            if (options.json) {
                all.push_back({{"file", JsonText(file)}, {"ok", false}, {"error", why}});
            } else {
                env.Err() << "rm7util: " << SafeToPrint(file) << ": " << why << "\n";
            }
            continue;
        }
        const FirmwareFileCheck c = CheckFirmwareFile(file, kind);
        if (c.result != kOk) {
            status = 1;
        }
        if (options.json) {
            all.push_back(CheckJson(file, c));
            continue;
        }
        env.Out() << StrFormat("%s\n", SafeToPrint(file).c_str());
        env.Out() << StrFormat(
            "  Processor:       %s%s\n", KindName(c.kind),
            c.kind == FirmwareKind::Unknown ? " (not an fmcu or fdsp file name; read as a DSP file)" : "");
        env.Out() << StrFormat("  Version:         %s\n", VersionOfFile(c.version).c_str());
        if (c.fileHasData) {
            env.Out() << StrFormat("  File data:       %s\n", Range(c.fileLow, c.fileHigh).c_str());
        }
        if (c.imageRead) {
            env.Out() << StrFormat("  Image:           %s, %u bytes\n", Range(c.imageLow, c.imageHigh).c_str(),
                                   c.imageSize);
            if (c.droppedBytes != 0) {
                env.Out() << StrFormat("  Left out:        %llu bytes outside the image\n",
                                       static_cast<unsigned long long>(c.droppedBytes));
            }
        }
        if (c.kind == FirmwareKind::Mcu && c.reconciliation.outcome != ReconciliationOutcome::NotAnImage) {
            env.Out() << StrFormat("  Reconciliation:  %s\n", ReconciliationText(c.reconciliation).c_str());
        }
        env.Out() << StrFormat("  %s\n", c.result == kOk ? "OK" : RefusalText(c).c_str());
    }
    if (options.json) {
        PrintJson(env.Out(), all);
    }
    return status;
}

namespace {

struct LoadReport {
    LoaderPart part;
    std::string file;
    Result result = kOk;
    std::uint32_t totalRetries = 0;
    std::uint32_t highestRetries = 0;
    double rate = 0;
};

// `rm7util firmware send` with these options.
std::string SendAgainCommand(const std::vector<std::string>& files) {
    std::string command = "rm7util firmware send";
    for (const std::string& f : files) {
        command += " " + f;
    }
    return command;
}

// Loads one file after the other, MCU first; a DSP load only after a good MCU load.
struct SendPart {
    LoaderPart part;
    FirmwareKind kind;
    std::string file;
    const SendPlan* plan = nullptr;  // "update": the DSP is judged again after the MCU load
};

// name: the job's name in rm7util's lines. again: the command to run again after a stopped or
// cut-off load (empty: the send of the part that stopped and those after it).
int RunLoads(CSession& session, const GlobalOptions& options, const std::vector<SendPart>& parts,
             const std::string& name, const std::string& again = "");

// Every file read whole as its loader would; false (with the reasons on standard error) when
// one would be refused.
bool FilesAccepted(std::ostream& err, const std::vector<SendPart>& parts) {
    bool accepted = true;
    for (const SendPart& p : parts) {
        const FirmwareFileCheck c = CheckFirmwareFile(p.file, p.kind);
        if (c.result != kOk) {
            err << SafeToPrint(p.file) << ": " << RefusalText(c) << "\n";
            accepted = false;
        }
    }
    return accepted;
}

}  // namespace

int RunFirmwareSend(IEnvironment& env, const GlobalOptions& options, const std::string& mcu, const std::string& dsp) {
    std::vector<SendPart> parts;
    if (!mcu.empty()) {
        parts.push_back({LoaderPart::Mcu, FirmwareKind::Mcu, mcu});
    }
    if (!dsp.empty()) {
        parts.push_back({LoaderPart::Dsp, FirmwareKind::Dsp, dsp});
    }
    if (parts.empty()) {
        env.Err() << "Nothing to send: give --mcu FILE, --dsp FILE or both.\n";
        return kExitUsage;
    }
    // Both files are read and checked whole before the radio is touched.
    if (!FilesAccepted(env.Err(), parts)) {
        return 1;
    }

    CSession session(env, options);
    if (const int status = session.Begin(); status != 0) {
        return status;
    }
    return RunLoads(session, options, parts, "firmware send");
}

namespace {

int RunLoads(CSession& session, const GlobalOptions& options, const std::vector<SendPart>& parts,
             const std::string& name, const std::string& again) {
    IEnvironment& env = session.Env();
    CModel& model = session.Model();
    std::vector<LoadReport> reports;
    std::unique_ptr<CTerminalJobView> view;
    int status = 0;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const SendPart& p = parts[i];
        if (p.part == LoaderPart::Dsp && p.plan != nullptr &&
            !DspStillWanted(*p.plan, model.firmwareVersions.Get(kKindDsp))) {
            if (!options.quiet) {
                env.Err() << "The RM7 runs DSP " << model.FirmwareVersionText(kKindDsp) << ": not sent\n";
            }
            continue;
        }
        // The DSP is loaded through the radio's own firmware, never through its boot loader.
        if (p.part == LoaderPart::Dsp && model.firmwareStatus.Get() != kFirmwareRunning) {
            SayFailure(env.Err(), name, model.WaitingForLoadText());
            SayHint(env.Err(), "Send MCU firmware first (--mcu FILE).");
            return 1;
        }
        // What takes the load up after a stop or a cut-off: this part and those after it.
        std::string command = again;
        if (command.empty()) {
            std::vector<std::string> rest;
            for (std::size_t j = i; j < parts.size(); ++j) {
                rest.push_back((parts[j].part == LoaderPart::Mcu ? "--mcu " : "--dsp ") + parts[j].file);
            }
            command = SendAgainCommand(rest);
        }
        LoaderJobOptions jobOptions;
        jobOptions.name = name;
        // One backup before the first load: a DSP load after an MCU load finds the same configuration.
        if (reports.empty()) {
            jobOptions.backup = BackupSettings(options);
        }
        jobOptions.sendAgain = StrFormat("run `%s` again", command.c_str());
        // As long as any contact looks for the radio (--timeout).
        jobOptions.findRadioMs = static_cast<std::uint32_t>(options.timeoutSec * 1000);
        view = std::make_unique<CTerminalJobView>(env, options, model.Notifier());
        CLoaderJob job(session.Radio(), *view, p.part, p.file, jobOptions);
        status = RunJobToOutcome(
            session, job.Shell(), *view, [&job] { job.Start(); }, kLoadLimitMs);
        reports.push_back({p.part, p.file, job.GetResult(), job.TotalRetries(), job.HighestRetries(), job.Rate()});
        if (status != 0) {
            break;  // a DSP load only after a good MCU load
        }
    }
    if (options.json) {
        nlohmann::json fields = nlohmann::json::object();
        for (const LoadReport& rep : reports) {
            nlohmann::json one = {{"file", JsonText(rep.file)},
                                  {"result", rep.result},
                                  {"total_retries", rep.totalRetries},
                                  {"highest_retries", rep.highestRetries},
                                  {"bytes_per_second", static_cast<std::uint64_t>(rep.rate)}};
            if (rep.result == kOk) {
                one["version"] = model.FirmwareVersionText(rep.part == LoaderPart::Mcu ? 0 : 1);
            } else {
                one["error"] = ErrorText(rep.result);
            }
            fields[rep.part == LoaderPart::Mcu ? "mcu" : "dsp"] = one;
        }
        if (view) {
            view->PrintJsonOutcome(fields, true);
        } else {
            PrintJson(env.Out(), fields);
        }
    } else {
        for (const LoadReport& rep : reports) {
            if (rep.result == kOk) {
                env.Out() << StrFormat("%s firmware %s loaded and verified\n", LoaderPartName(rep.part),
                                       model.FirmwareVersionText(rep.part == LoaderPart::Mcu ? 0 : 1).c_str());
            }
        }
    }
    return status;
}

std::string Flat(const std::string& lines) {
    std::string text = FlattenLineBreaks(lines, "\n");
    while (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    return text;
}

const char* StatusName(FirmwareStatusEnum status) {
    switch (status) {
        case kFirmwareRunning:
            return "running";
        case kFirmwareBootLoader:
            return "boot loader";
        case kFirmwareNone:
            break;
    }
    return "none";
}

std::filesystem::path FolderOf(CSession& session, const std::string& folderArg) {
    return folderArg.empty() ? std::filesystem::path(session.Model().firmwareFolder.Get())
                             : std::filesystem::path(folderArg);
}

// What the folder holds beside what the radio runs, as the Firmware page shows it.
}  // namespace

int RunFirmwareFetch(IEnvironment& env, const GlobalOptions& options, const std::string& folderArg,
                     const std::string& serverArg) {
    CSession session(env, options);
    const std::filesystem::path folder = FolderOf(session, folderArg);
    const std::string server = serverArg.empty() ? ChosenFileServer(session.Model()) : serverArg;
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);

    // No radio: the job of the desktop program's copy window, on the pump and its workers.
    CTerminalJobView view(env, options, session.Model().Notifier());
    CFileServerCopyJob job(session.Pump(), view, folder, ScanFolder(folder), server);
    const bool terminal = env.ErrIsTerminal() && !options.quiet;
    if (terminal) {
        job.Copy().SetProgressHandler([&](const std::string& name, std::uint64_t bytes) {
            env.Err() << "\r\x1b[K"
                      << StrFormat("%s: %llu bytes", SafeToPrint(name).c_str(), static_cast<unsigned long long>(bytes));
            env.Err().flush();
            view.EraseOnNextLine();
        });
    }
    // The job's own time-outs end every request; the loop only waits for them.
    const int status = RunJobToOutcome(
        session, job.Shell(), view, [&job] { job.Start(); }, kNoTimeLimit);
    nlohmann::json copied = nlohmann::json::array();
    for (const std::string& name : job.Copy().CopiedNames()) {
        copied.push_back(JsonText(name));
    }
    nlohmann::json refused = nlohmann::json::array();
    for (const CFtpCopyJob::RefusedFile& file : job.Copy().RefusedFiles()) {
        refused.push_back({{"file", JsonText(file.name)}, {"reason", JsonText(file.reason)}});
    }
    // What was copied and refused is worth knowing whatever the end.
    view.PrintJsonOutcome(
        {{"folder", JsonPath(folder)}, {"server", JsonText(server)}, {"copied", copied}, {"refused", refused}}, true);
    if (!options.json && status == 0) {
        // What was done, on standard output for a script; the log went to standard error.
        for (const std::string& name : job.Copy().CopiedNames()) {
            env.Out() << "Copied " << SafeToPrint(name) << "\n";
        }
        if (job.Copy().CopiedNames().empty()) {
            env.Out() << kFetchNothingNewerText << "\n";
        }
    }
    return status;
}

int RunFirmwareNotes(IEnvironment& env, const GlobalOptions& options, const std::string& folderArg) {
    CSession session(env, options);
    const ReleaseNotes notes = LoadReleaseNotes(FolderOf(session, folderArg).string());
    if (!notes.ok) {
        env.Err() << notes.error << "\n" << notes.reason << "\n";
        return 1;
    }
    const std::string text = RichTextToPlainText(notes.document);
    if (options.json) {
        PrintJson(env.Out(), {{"file", JsonPath(notes.path)}, {"text", JsonText(text)}});
    } else {
        env.Out() << SafeToPrint(text, true);
    }
    return 0;
}

int RunFirmwareList(IEnvironment& env, const GlobalOptions& options, const std::string& folderArg) {
    CSession session(env, options);
    const std::filesystem::path folder = FolderOf(session, folderArg);
    // A folder named on the command line that is not there is a typing mistake, not an empty
    // folder; the default folder may simply not have been made yet.
    if (!folderArg.empty()) {
        std::error_code ec;
        if (!std::filesystem::is_directory(folder, ec)) {
            env.Err() << "Firmware folder " << folder.string()
                      << (std::filesystem::exists(folder, ec) ? " is not a folder.\n" : " does not exist.\n");
            return 1;
        }
    }
    const FolderContents contents = ScanFolder(folder);
    // Without the radio the folder is still worth listing; the exit status tells the failure.
    const Result r = session.Contact();
    const FirmwarePageState state = PageStateFromModel(session.Model(), contents, 0);
    const char* names[kFirmwareKindCount] = {kMcuPartName, kDspPartName};
    const char* keys[kFirmwareKindCount] = {"mcu", "dsp"};
    if (options.json) {
        nlohmann::json out = {
            {"folder", JsonPath(folder)},
            {"radio", StatusName(state.status)},
            {"release_notes", contents.releaseNotes ? JsonPath(contents.releaseNotesPath) : nlohmann::json(nullptr)}};
        for (std::size_t kind = 0; kind < kFirmwareKindCount; ++kind) {
            const FirmwareFileEntry& file = contents.files[kind];
            out[keys[kind]] = {
                {"installed", VersionText(state.installed[kind])},
                {"available", file.Found() ? nlohmann::json(AvailableText(file)) : nlohmann::json(nullptr)},
                {"file", file.Found() ? JsonPath(file.path) : nlohmann::json(nullptr)},
                {"newer", r == kOk && IsNewerThanInstalled(file, state.installed[kind])},
            };
        }
        PrintJson(env.Out(), out);
    } else {
        env.Out() << StrFormat("Firmware folder: %s\n", folder.string().c_str());
        env.Out() << StrFormat("     Installed  Available  File\n");
        for (std::size_t kind = 0; kind < kFirmwareKindCount; ++kind) {
            const FirmwareFileEntry& file = contents.files[kind];
            const bool newer = r == kOk && IsNewerThanInstalled(file, state.installed[kind]);
            env.Out() << StrFormat("%s  %-9s  %-9s  %s%s\n", names[kind], VersionText(state.installed[kind]).c_str(),
                                   AvailableText(file).c_str(), SafeToPrint(file.path.filename().string()).c_str(),
                                   newer ? "  (newer)" : "");
        }
        env.Out() << StrFormat("Release notes: %s\n", contents.releaseNotes
                                                          ? SafeToPrint(contents.releaseNotesPath.string()).c_str()
                                                          : "none");
    }
    return r == kOk ? 0 : session.ReportContactFailure(r);
}

// The page's "Send New Firmware" (or, with --all, "Send All Firmware") from the folder.
int RunFirmwareUpdate(IEnvironment& env, const GlobalOptions& options, bool all, const std::string& folderArg) {
    CSession session(env, options);
    const std::filesystem::path folder = FolderOf(session, folderArg);
    const FolderContents contents = ScanFolder(folder);
    if (!contents.Mcu().Found()) {
        env.Err() << folder.string() << ": " << Flat(kFolderMissingFilesText) << "\n";
        return 1;
    }
    if (const int status = session.Begin(); status != 0) {
        return status;
    }
    CModel& model = session.Model();
    FirmwarePageState state = PageStateFromModel(model, contents, 0);
    // The terminal has no load boxes: --all sends everything, as the page does outside advanced mode.
    state.advancedMode = false;
    const SendPlan plan = PlanSend(state, all ? SendButton::AllOrChecked : SendButton::Newer);
    if (plan.refused) {
        env.Err() << Flat(plan.logLine.empty() ? plan.boxText : plan.logLine) << "\n";
        return 1;
    }
    if (plan.Empty()) {
        if (options.json) {
            PrintJson(
                env.Out(),
                {{"nothing_newer", true},
                 {"folder", JsonPath(folder)},
                 {"installed",
                  {{"mcu", VersionText(state.installed[kKindMcu])}, {"dsp", VersionText(state.installed[kKindDsp])}}},
                 {"available", {{"mcu", AvailableText(contents.Mcu())}, {"dsp", AvailableText(contents.Dsp())}}}});
        } else {
            env.Out() << StrFormat(
                "Nothing newer to send: the %s runs MCU %s and DSP %s; the folder holds MCU %s and DSP %s\n",
                kModelName, VersionText(state.installed[kKindMcu]).c_str(),
                VersionText(state.installed[kKindDsp]).c_str(), AvailableText(contents.Mcu()).c_str(),
                AvailableText(contents.Dsp()).c_str());
        }
        return 0;
    }
    std::vector<SendPart> parts;
    if (plan.mcu) {
        parts.push_back({LoaderPart::Mcu, FirmwareKind::Mcu, plan.mcuFile.string()});
    }
    if (plan.dsp) {
        parts.push_back({LoaderPart::Dsp, FirmwareKind::Dsp, plan.dspFile.string(), &plan});
    }
    if (!FilesAccepted(env.Err(), parts)) {
        return 1;
    }
    if (!options.quiet) {
        env.Err() << SendingText(folder) << "\n";
    }
    const std::uint32_t start = session.Pump().TickCount();
    std::string again = all ? "rm7util firmware update --all" : "rm7util firmware update";
    if (!folderArg.empty()) {
        again += " --folder " + folderArg;
    }
    const int status = RunLoads(session, options, parts, "firmware update", again);
    if (!options.quiet) {
        env.Err() << ElapsedText(session.Pump().TickCount() - start) << "\n";
    }
    return status;
}

}  // namespace rm7::cli
