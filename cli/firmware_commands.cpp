// firmware check, send, list and update: the Firmware page's checks and loads from a terminal.
#include <nlohmann/json.hpp>

#include <algorithm>
#include <memory>
#include <optional>

#include "cli/backup_step.h"
#include "cli/commands.h"
#include "cli/critical_job.h"
#include "cli/job_views.h"
#include "cli/json_output.h"
#include "cli/session.h"
#include "firmware/file_server_copy.h"
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

// Log lines and a progress line on standard error. On a terminal the progress line redraws
// itself with the bytes sent, the rate measured so far and the time left; elsewhere it is a
// line at each quarter.
class CLoadConsole final : public IProgressBar, public IUserNotifier {
  public:
    CLoadConsole(IEnvironment& env, CRadioSession& session, const char* part, bool quiet)
        : m_err(env.Err()),
          m_session(session),
          m_part(part),
          m_quiet(quiet),
          m_terminal(env.ErrIsTerminal()),
          m_previous(session.Model().Notifier()) {
        // The machines' status texts come here while the load runs; most are also log
        // lines, which are shown once.
        m_session.SetNotifier(this);
    }
    ~CLoadConsole() override {
        ClearLine();
        m_session.SetNotifier(m_previous);
    }

    void Line(const std::string& text) {
        if (!m_quiet) {
            Say(text);
        }
    }
    // Also under --quiet: the answer to a signal the user sent.
    void Say(const std::string& text) {
        ClearLine();
        std::string flat = FlattenLineBreaks(text, "\n  ");
        while (!flat.empty() && (flat.back() == '\n' || flat.back() == '\r')) {
            flat.pop_back();
        }
        m_err << flat << "\n";
        m_lastLine = text;
        Draw();
    }

    // IProgressBar: steps of 32 bytes.
    void SetRange(std::uint32_t steps) override {
        m_total = std::uint64_t{steps} * kLoaderBytesPerStep;
        m_quarter = 0;
    }
    void SetPosition(std::uint32_t step) override {
        const std::uint64_t done = std::min<std::uint64_t>(std::uint64_t{step} * kLoaderBytesPerStep, m_total);
        const std::uint32_t now = m_session.Pump().TickCount();
        m_meter.Update(done, m_total, now);
        m_done = done;
        if (m_quiet || m_total == 0) {
            return;
        }
        if (!m_terminal) {
            const auto quarter = static_cast<std::uint32_t>(done * 4 / m_total);
            if (quarter > m_quarter) {
                m_quarter = quarter;
                m_err << StrFormat("%s firmware: %u%%\n", m_part, quarter * 25);
            }
            return;
        }
        // A redraw for every packet would cost more than the packet: a few per second.
        if (m_drawn && now - m_lastDraw < 200 && done < m_total) {
            return;
        }
        m_lastDraw = now;
        Draw();
    }

    // IUserNotifier
    void StatusText(const std::string& text) override {
        if (text != m_lastLine) {
            Line(text);
        }
    }
    void MessageBox(const std::string& caption, const std::string& text, MessageIcon icon) override {
        ClearLine();
        if (m_previous != nullptr) {
            m_previous->MessageBox(caption, text, icon);
        }
        m_lastLine = text;
    }
    bool AskYesNo(const std::string& caption, const std::string& text, MessageIcon icon) override {
        ClearLine();
        return m_previous != nullptr && m_previous->AskYesNo(caption, text, icon);
    }

    double Rate() const { return m_meter.Rate(); }

  private:
    void Draw() {
        if (m_quiet || !m_terminal || m_total == 0 || m_done == 0) {
            return;
        }
        constexpr int kWidth = 24;
        const auto filled = static_cast<int>(m_done * kWidth / m_total);
        std::string bar(static_cast<std::size_t>(filled), '#');
        bar.append(static_cast<std::size_t>(kWidth - filled), '.');
        m_err << StrFormat("\r%s [%s]%s\x1b[K", m_part, bar.c_str(), m_meter.Text().c_str()) << std::flush;
        m_drawn = true;
    }
    void ClearLine() {
        if (m_drawn) {
            m_err << "\r\x1b[K";
            m_drawn = false;
        }
    }

    std::ostream& m_err;
    CRadioSession& m_session;
    const char* m_part;
    bool m_quiet;
    bool m_terminal;
    IUserNotifier* m_previous;
    CTransferMeter m_meter;
    std::uint64_t m_total = 0;
    std::uint64_t m_done = 0;
    std::uint32_t m_quarter = 0;
    std::uint32_t m_lastDraw = 0;
    bool m_drawn = false;
    std::string m_lastLine;
};

struct LoadReport {
    LoaderPart part;
    std::string file;
    Result result = kOk;
    std::uint32_t totalRetries = 0;
    std::uint32_t highestRetries = 0;
    double rate = 0;
};

CCriticalJob::Texts LoadInterruptTexts(LoaderPart part) {
    return {kCriticalOperationCaption,
            StrFormat("The %s firmware load goes on. Press Ctrl-C again within %u seconds to stop it.",
                      LoaderPartName(part), CCriticalJob::kStopWindowMs / 1000),
            "Stopping the firmware load at the next packet.",
            "Every packet is sent; the load ends once the radio is found again."};
}

LoadReport RunLoad(CSession& session, LoaderPart part, const std::string& file, const GlobalOptions& options) {
    LoadReport report{part, file};
    std::optional<LoaderOutcome> outcome;
    {
        CLoadConsole console(session.Env(), session.Radio(), LoaderPartName(part), options.quiet);
        CLoaderJob job(session.Radio(), part, file);
        job.onLog = [&](const std::string& line, CLoaderJob::LogSource source) {
            if (source != CLoaderJob::LogSource::Outcome) {
                console.Line(line);
            }
        };
        job.onFinished = [&](const LoaderOutcome& o) {
            outcome = o;
            // The error and the window's instruction are the dialog's closing words; the summary
            // below says them here.
            for (const JobLine& line : o.lines) {
                if (line.kind == JobLine::Kind::Note) {
                    console.Line(line.text);
                }
            }
        };
        const CCriticalJob critical(
            session.Env().Loop(), LoadInterruptTexts(part), [&](const std::string& line) { console.Say(line); },
            [&] { return job.Cancel(); });
        job.Start(&console);
        if (!session.RunUntil([&] { return outcome.has_value(); }, kLoadLimitMs)) {
            report.result = kErrorTimeout;
        } else {
            report.result = outcome->result;
        }
        report.totalRetries = job.TotalRetries();
        report.highestRetries = job.HighestRetries();
        report.rate = console.Rate();
    }
    return report;
}

// What a stopped load left the radio doing, found by a contact rather than assumed: a stop
// during the reset wait leaves the new firmware running, one mid-packet a boot loader deaf to
// every question until the next load brings it to a packet boundary. again: the command that
// takes the load up.
std::string StoppedLoadText(CSession& session, const LoadReport& report, const std::string& again) {
    const Result found = session.ContactAgain();
    CModel& model = session.Model();
    const std::string run = StrFormat("run `%s` again.", again.c_str());
    if (report.part == LoaderPart::Dsp) {
        // Stopped between chunks, the radio's firmware waits for the rest and answers a poll as a
        // boot loader would; only a restart ends that.
        if (found == kOk && model.firmwareStatus.Get() == kFirmwareRunning) {
            return "The radio's DSP firmware may be incomplete: " + run;
        }
        return StrFormat("The radio is found %s: turn it off and on, then %s",
                         found == kOk ? "waiting for the rest of its DSP firmware" : "not answering", run.c_str());
    }
    if (found != kOk) {
        return StrFormat(
            "The radio does not answer: its boot loader may be waiting in the middle of the load. Run `%s` again: "
            "the load finds it.",
            again.c_str());
    }
    if (model.firmwareStatus.Get() == kFirmwareBootLoader) {
        return "The radio is found waiting in its boot loader: " + run;
    }
    const std::uint16_t running = model.firmwareVersions.Get(kKindMcu);
    if (running == FileVersion(report.file)) {
        return StrFormat("The radio is found running MCU firmware %s, the version of %s.", VersionText(running).c_str(),
                         report.file.c_str());
    }
    return StrFormat("The radio is found running MCU firmware %s, not the file's %s: ", VersionText(running).c_str(),
                     VersionOfFile(FileVersion(report.file)).c_str()) +
           run;
}

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

// again: the command to run again after a stopped or cut-off load (empty: the send of the part
// that stopped and those after it).
int RunLoads(CSession& session, const GlobalOptions& options, const std::vector<SendPart>& parts,
             const std::string& again = "");

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
    return RunLoads(session, options, parts);
}

namespace {

int RunLoads(CSession& session, const GlobalOptions& options, const std::vector<SendPart>& parts,
             const std::string& again) {
    IEnvironment& env = session.Env();
    CModel& model = session.Model();
    if (const int status = BackUpBeforeJob(session, BackupReason::kFirmware); status != 0) {
        return status;
    }
    Result r = kOk;
    std::vector<LoadReport> reports;
    for (const SendPart& p : parts) {
        if (p.part == LoaderPart::Dsp && p.plan != nullptr &&
            !DspStillWanted(*p.plan, model.firmwareVersions.Get(kKindDsp))) {
            if (!options.quiet) {
                env.Err() << "The RM7 runs DSP " << model.FirmwareVersionText(kKindDsp) << ": not sent\n";
            }
            continue;
        }
        // The DSP is loaded through the radio's own firmware, never through its boot loader.
        if (p.part == LoaderPart::Dsp && model.firmwareStatus.Get() != kFirmwareRunning) {
            env.Err() << model.WaitingForLoadText() << "\nSend MCU firmware first (--mcu FILE).\n";
            return 1;
        }
        reports.push_back(RunLoad(session, p.part, p.file, options));
        r = reports.back().result;
        if (r != kOk) {
            break;  // a DSP load only after a good MCU load
        }
    }
    if (options.json) {
        nlohmann::json out = nlohmann::json::object();
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
            out[rep.part == LoaderPart::Mcu ? "mcu" : "dsp"] = one;
        }
        PrintJson(env.Out(), out);
    } else {
        for (const LoadReport& rep : reports) {
            if (rep.result == kOk) {
                env.Out() << StrFormat("%s firmware %s loaded and verified\n", LoaderPartName(rep.part),
                                       model.FirmwareVersionText(rep.part == LoaderPart::Mcu ? 0 : 1).c_str());
            }
        }
    }
    std::string command = again;
    if (command.empty() && !reports.empty()) {
        std::vector<std::string> rest;
        bool from = false;
        for (const SendPart& p : parts) {
            from = from || p.file == reports.back().file;
            if (from) {
                rest.push_back((p.part == LoaderPart::Mcu ? "--mcu " : "--dsp ") + p.file);
            }
        }
        command = SendAgainCommand(rest);
    }
    if (r == kErrorCancelled) {
        env.Err() << StoppedLoadText(session, reports.back(), command) << "\n";
    }
    if (r == kOk) {
        return 0;
    }
    const int status = ReportFailure(env.Err(), r);
    if (r != kErrPortGone && IsPortLost(r) && !reports.empty()) {
        // A connection to the radio's port that dropped leaves the radio as a pulled cable does.
        env.Err() << (reports.back().part == LoaderPart::Mcu
                          ? StrFormat("When the radio's port on the network can be reached again, run `%s` again: "
                                      "the radio's boot loader waits for the next send.\n",
                                      command.c_str())
                          : StrFormat("When the radio's port on the network can be reached again, turn the radio off "
                                      "and on and run `%s` again: the DSP load starts over.\n",
                                      command.c_str()));
    }
    if (r == kErrPortGone && !reports.empty()) {
        // The MCU's boot loader is found again, even in the middle of its download; a DSP load
        // leaves the radio's firmware waiting for the rest until it is restarted.
        env.Err() << (reports.back().part == LoaderPart::Mcu
                          ? StrFormat("Plug the cable back in and run `%s` again: the radio's boot loader is found "
                                      "again.\n",
                                      command.c_str())
                          : StrFormat("Plug the cable back in, turn the radio off and on, and run `%s` again: the "
                                      "DSP load starts over.\n",
                                      command.c_str()));
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
    const int status = RunLoads(session, options, parts, again);
    if (!options.quiet) {
        env.Err() << ElapsedText(session.Pump().TickCount() - start) << "\n";
    }
    return status;
}

}  // namespace rm7::cli
