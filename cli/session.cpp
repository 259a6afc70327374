#include "cli/session.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <utility>

#include "config/file_classes.h"
#include "link/contact.h"
#include "link/idle_exchange.h"
#include "link/port_name.h"
#include "platform/error_text.h"
#include "platform/format.h"
#include "platform/os_error.h"
#include "platform/paths.h"
#include "platform/result_codes.h"
#include "platform/text.h"
#include "platform/tty.h"

namespace rm7::cli {

void CConsoleNotifier::StatusText(const std::string& text) {
    if (m_quiet || text == m_last) {
        return;
    }
    m_last = text;
    std::string line = text;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.pop_back();
    }
    if (m_holding && m_holding()) {
        m_held.push_back(std::move(line));
        return;
    }
    ReleaseHeld();
    m_err << line << "\n";
}

void CConsoleNotifier::ReleaseHeld() {
    for (const std::string& line : m_held) {
        m_err << line << "\n";
    }
    m_held.clear();
}

void CConsoleNotifier::MessageBox(const std::string& caption, const std::string& text, MessageIcon) {
    ReleaseHeld();
    const std::string flat = FlattenLineBreaks(text, "\n  ");
    m_err << caption << ": " << flat << "\n";
    m_last = text;
}

bool CConsoleNotifier::AskYesNo(const std::string& caption, const std::string& text, MessageIcon) {
    // A dialog's "Press Yes ..." lines mean nothing at a terminal: the answer line says which
    // option goes on.
    std::string question;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (!line.starts_with("Press Yes") && !line.starts_with("Press No")) {
            question += line + "\n";
        }
    }
    while (!question.empty() && question.back() == '\n') {
        question.pop_back();
    }
    m_err << caption << ": " << question << "\n"
          << (m_yes ? "Answered yes (--yes)." : "Answered no (give --yes to accept).") << "\n";
    return m_yes;
}

CSession::CSession(IEnvironment& env, GlobalOptions options)
    : m_env(env),
      m_options(std::move(options)),
      m_notifier(env.Err(), m_options.quiet, m_options.yes),
      m_settings(SettingsFilePath()) {
    m_settings.Load();
    if (!m_settings.Warning().empty()) {
        env.Err() << m_settings.Warning() << "\n";
    }
    m_model = std::make_unique<CModel>(Pump(), &m_settings, &m_notifier);
    m_radio = std::make_unique<CRadioSession>(*m_model, env.MakePort());
    m_model->LoadSettings();
    if (m_options.simulate) {
        UseSimulatedFirmware();
    }
    m_radio->SetIdleTarget(this);
    m_portEvent = CObservation(m_model->portEvent, this);
}

void CSession::UseSimulatedFirmware() {
    // One command is one run: the folder holds the made firmware too, so that a load, a check or
    // the notes have something to work on (a copy from the mirror then finds nothing newer).
    const Result r =
        m_simulatedFirmware.Create([this](const std::filesystem::path& dir) { return m_env.MakeFirmware(dir); }, true);
    if (r != kOk) {
        m_env.Err() << "The simulated radio's firmware could not be made (" << ErrorText(r)
                    << "): the saved firmware folder and file server are used.\n";
        return;
    }
    // rm7util never saves the settings: the saved folder and server stay as they were.
    m_model->firmwareFolder.Set(m_simulatedFirmware.Folder().string());
    m_model->fileServerForRun = m_simulatedFirmware.ServerUrl();
    m_model->backupFolderForRun = m_simulatedFirmware.BackupFolder().string();
}

CSession::~CSession() {
    m_portEvent.Reset();
    m_radio->ClosePort();
    m_radio.reset();
    m_model.reset();
    Pump().Forget(this);
}

LResult CSession::OnMessage(std::uint32_t code, WParam wParam, LParam) {
    if (code == kMsgPortEvent) {
        m_completion = static_cast<Result>(wParam);
    }
    return 0;
}

namespace {

class CGatheredBytes final : public IIdleExchangeListener {
  public:
    void OnReceived(std::string_view bytes) override { text.append(bytes); }
    std::string text;
};

}  // namespace

CSession::IdleAnswer CSession::ExchangeCommands(const std::string& text, std::uint32_t quietMs) {
    CGatheredBytes gathered;
    CIdleExchange exchange(*m_radio, gathered);
    m_radio->SetIdleTarget(&exchange);
    auto failed = [&exchange] { return exchange.Failure() != kOk; };
    IdleAnswer out;
    out.result = exchange.Begin();
    // A radio that never falls quiet keeps the command running, as a terminal would.
    constexpr std::uint32_t kNoLimit = std::numeric_limits<std::uint32_t>::max();
    if (out.result == kOk && exchange.SendCommands(text)) {
        RunUntil([&] { return !exchange.Pacing() || failed(); }, kNoLimit);
        if (!failed()) {
            exchange.AwaitQuiet(quietMs);
            RunUntil([&] { return exchange.Quiet() || failed(); }, kNoLimit);
        }
    }
    if (out.result == kOk) {
        out.result = exchange.Failure();
    }
    m_radio->SetIdleTarget(this);
    out.bytes = std::move(gathered.text);
    return out;
}

Result CSession::Contact() {
    std::string port = m_options.port;
    if (m_options.simulate) {
        const Result r = m_env.StartSimulator(m_options.simArgs, port);
        if (r != kOk) {
            m_env.Err() << "The simulated radio (rm7-sim) could not be started.\n";
            return r;
        }
        if (!m_options.quiet) {
            m_env.Err() << "Simulated radio on " << port << "\n";
        }
    }
    CModel& model = *m_model;
    // This run's port and speed are not saved: rm7util never writes the settings.
    if (!port.empty()) {
        model.portName.Set(port);
    }
    if (m_options.speed != "auto") {
        model.fixedSerialSpeed.Set(std::strtoul(m_options.speed.c_str(), nullptr, 10));
    }
    return ContactAgain();
}

Result CSession::ContactAgain() {
    m_completion.reset();
    m_portOpened = m_model->IsPortOpen();
    // What the opening writes waits until the port is open: a port that will not open is said
    // once, by ReportContactFailure, not also by the contact's own status lines.
    m_notifier.HoldWhile([this] {
        m_portOpened = m_portOpened || m_model->IsPortOpen();
        return !m_portOpened;
    });
    m_radio->Contact().StartAtOpenPort();
    const auto timeoutMs = static_cast<std::uint32_t>(m_options.timeoutSec * 1000);
    m_nobodyAnswered = false;
    const bool ended = RunUntil([this] { return m_completion.has_value(); }, timeoutMs);
    m_portOpened = m_portOpened || m_model->IsPortOpen();
    m_notifier.HoldWhile(nullptr);
    if (m_portOpened) {
        m_notifier.ReleaseHeld();
    } else {
        m_notifier.DropHeld();
    }
    if (!ended) {
        // The looping speed search never gives up by itself.
        m_radio->ClosePort();
        m_nobodyAnswered = true;
        return kErrNoResponseAfterReset;
    }
    return *m_completion;
}

int CSession::Begin() {
    const Result r = Contact();
    return r == kOk ? 0 : ReportContactFailure(r);
}

int CSession::ReportContactFailure(Result r) {
    const std::string port = m_model->portName.Get();
    constexpr const char* kPortsHint = "\"rm7util ports\" lists this machine's serial devices";
    if (m_nobodyAnswered) {
        // No reset happened: the search ran out of time at every speed.
        const std::string speeds = m_options.speed == "auto" ? "38400 to 4800" : m_options.speed;
        const int status = ReportFailure(m_env.Err(), r,
                                         StrFormat("No radio answered on %s at %s bit/s: is it switched on, is the "
                                                   "cable in, is this the right port?",
                                                   port.c_str(), speeds.c_str()));
        // This machine's devices are no help with a port on another one.
        if (!IsNetworkPortName(port)) {
            m_env.Err() << kPortsHint << ".\n";
        }
        return status;
    }
    if (r == kErrPortNameMissing) {
        RecordFailure(r, ErrorText(r));
        SayFailure(m_env.Err(), "no port", ErrorText(r));
        SayHint(m_env.Err(), StrFormat("Give one with --port DEV or RM7_PORT (%s), or use the simulated radio with "
                                       "--simulate.",
                                       kPortsHint));
        return kExitUsage;
    }
    if (!m_portOpened) {
        // A port on the network names its host and port in its own words.
        const std::string why = IsNetworkPortName(port) ? PortErrorText(port, r) : PortOpenFailureText(port, r);
        RecordFailure(r, why);
        SayFailure(m_env.Err(), port, why);
        SayHint(m_env.Err(), PortOpenHint(port, r));
        return 1;
    }
    return ReportFailure(m_env.Err(), r);
}

void SayFailure(std::ostream& err, const std::string& what, const std::string& why) {
    err << "rm7util: " << SafeToPrint(what) << ": " << why << "\n";
}

void SayHint(std::ostream& err, const std::string& text) {
    if (!text.empty()) {
        err << "hint: " << text << "\n";
    }
}

std::string PortOpenHint(const std::string& port, Result r) {
    constexpr const char* kPorts = "\"rm7util ports\" lists this machine's serial devices.";
    // This machine's devices are no help with a port on another one.
    if (port.empty() || IsNetworkPortName(port)) {
        return {};
    }
    if (r == kErrorBusy) {
        return StrFormat("Close that program and try again, or choose another port: %s", kPorts);
    }
    if (r == kErrorAccessDenied) {
        return AccessDeniedHint(port);
    }
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::status(port, ec);
    const std::string shown = SafeToPrint(port);
    switch (status.type()) {
        case std::filesystem::file_type::directory:
            return StrFormat("%s is a folder, not a serial device: %s", shown.c_str(), kPorts);
        case std::filesystem::file_type::regular:
            return StrFormat("%s is a regular file, not a serial device: %s", shown.c_str(), kPorts);
        default:
            break;
    }
    if (r == kErrorInvalidFunction) {
        return StrFormat("%s is not a serial device: %s", shown.c_str(), kPorts);
    }
    return kPorts;
}

std::string InputFileProblem(const std::string& path) {
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::status(path, ec);
    switch (status.type()) {
        case std::filesystem::file_type::regular:
            return ReadAccessError(path) == 0 ? std::string() : std::strerror(EACCES);
        case std::filesystem::file_type::not_found:
            return std::strerror(ENOENT);
        case std::filesystem::file_type::directory:
            return std::strerror(EISDIR);
        case std::filesystem::file_type::none:
            return std::strerror(ec ? ec.value() : ENOENT);
        default:
            return "not a regular file";
    }
}

bool LooksLikeConfigurationFile(std::string_view text) {
    // Every configuration file names its radio's firmware or holds a run; a line of its own
    // format is enough, whatever else a damaged one holds.
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        const std::string_view line = text.substr(start, end - start);
        if (line.starts_with("RM7 ") || line.starts_with("MEM") || line.starts_with("CRC32") ||
            line.starts_with("*Configuration")) {
            return true;
        }
        start = end + 1;
    }
    return false;
}

bool ConfigurationFileToRead(std::ostream& err, const std::string& path) {
    std::string why = InputFileProblem(path);
    if (why.empty()) {
        std::ifstream file(path, std::ios::binary);
        std::string head(64 * 1024, '\0');
        file.read(head.data(), static_cast<std::streamsize>(head.size()));
        head.resize(static_cast<std::size_t>(file.gcount()));
        if (!LooksLikeConfigurationFile(head)) {
            why = head.starts_with(":") ? "not a configuration file (a firmware file?)" : "not a configuration file";
        }
    }
    if (!why.empty()) {
        err << "rm7util: " << SafeToPrint(path) << ": " << why << "\n";
    }
    return why.empty();
}

int ReportFileFailure(std::ostream& err, Result r, const std::string& path) {
    if (!IsSystemFailure(r)) {
        // What a reader found in the file is no fault of its path.
        return ReportFailure(err, r);
    }
    const std::string why = ErrorText(r);
    RecordFailure(r, why);
    SayFailure(err, path, why);
    return r == kErrorCancelled ? kExitStopped : 1;
}

WriteObstacle FindWriteObstacle(const std::filesystem::path& file) {
    std::error_code ec;
    if (std::filesystem::is_directory(file, ec)) {
        return {EISDIR, file};
    }
    const std::filesystem::path folder = file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
    const std::filesystem::file_status status = std::filesystem::status(folder, ec);
    if (status.type() == std::filesystem::file_type::not_found) {
        return {ENOENT, folder};
    }
    if (status.type() != std::filesystem::file_type::directory) {
        return {ENOTDIR, folder};
    }
    // The file goes in under a temporary name first: the folder must take new files.
    if (const int e = WriteAccessError(folder, true); e != 0) {
        return {e, folder};
    }
    if (const int e = std::filesystem::exists(file, ec) ? WriteAccessError(file, false) : 0; e != 0) {
        return {e, file};
    }
    return {};
}

int ReportWriteFailure(std::ostream& err, Result r, const std::filesystem::path& file) {
    if (!IsSystemFailure(r)) {
        return ReportFailure(err, r);
    }
    // Where the obstacle is seen, it is named (the folder that is missing or read-only).
    const WriteObstacle o = FindWriteObstacle(file);
    const std::string why = o.error != 0 ? std::strerror(o.error) : ErrorText(r);
    RecordFailure(r, why);
    SayFailure(err, (o.error != 0 ? o.path : file).string(), why);
    return 1;
}

namespace {
// One command runs at a time, on one thread.
ReportedFailure g_reportedFailure;
std::string g_commandName;
}  // namespace

int ReportFailure(std::ostream& err, Result r) {
    return ReportFailure(err, r, ErrorText(r));
}

void RecordFailure(Result r, const std::string& text) {
    g_reportedFailure = {r, text};
}

int ReportFailure(std::ostream& err, Result r, const std::string& text) {
    RecordFailure(r, text);
    // The code itself is for --json and Trace; a person reads what it means.
    err << "rm7util: " << (g_commandName.empty() ? std::string() : g_commandName + ": ") << text << "\n";
    return r == kErrorCancelled ? kExitStopped : 1;
}

void SetCommandName(std::string name) {
    g_commandName = std::move(name);
}

ReportedFailure TakeReportedFailure() {
    return std::exchange(g_reportedFailure, {});
}

}  // namespace rm7::cli
