#pragma once
// One run of rm7util: the settings, the model and the session with the radio on the
// environment's port and pump, and the simulated radio when --simulate asks for it. Every job
// first contacts the radio, as the desktop application does at start, so the model knows the
// radio before the job runs.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "cli/environment.h"
#include "link/job_run.h"
#include "link/radio_session.h"
#include "link/state_machine.h"
#include "model/model.h"
#include "platform/result_codes.h"
#include "platform/settings.h"
#include "platform/simulated_firmware.h"

namespace rm7::cli {

// The exit status of a job the user stopped (Ctrl-C twice): neither a failure (1) nor a
// mistake on the command line (2); 128 + SIGINT, as shells give an interrupted command.
inline constexpr int kExitStopped = 130;

struct GlobalOptions {
    std::string port;            // empty: the saved "Port"
    std::string speed = "auto";  // auto|4800|9600|19200|38400
    double timeoutSec = 10;      // how long to look for the radio
    bool json = false;
    bool simulate = false;
    bool yes = false;
    bool quiet = false;
    bool noBackup = false;  // no configuration backup before a risky job
    std::string simArgs;    // extra options for the simulated radio
};

// Progress and log lines go to standard error; results to standard output.
class CConsoleNotifier final : public IUserNotifier {
  public:
    CConsoleNotifier(std::ostream& err, bool quiet, bool yes) : m_err(err), m_quiet(quiet), m_yes(yes) {}
    void StatusText(const std::string& text) override;
    void MessageBox(const std::string& caption, const std::string& text, MessageIcon icon) override;
    bool AskYesNo(const std::string& caption, const std::string& text, MessageIcon icon) override;

    // While holding() is true, status lines wait; the next line written while it is false lets
    // them out first. A port that will not open is said once, as rm7util's own line: what its
    // opening wrote is dropped.
    void HoldWhile(std::function<bool()> holding) { m_holding = std::move(holding); }
    void ReleaseHeld();
    void DropHeld() { m_held.clear(); }

  private:
    std::ostream& m_err;
    bool m_quiet;
    bool m_yes;
    std::string m_last;
    std::function<bool()> m_holding;
    std::vector<std::string> m_held;
};

class CSession final : private IMessageTarget {
  public:
    CSession(IEnvironment& env, GlobalOptions options);
    ~CSession();

    // Opens the port (or starts the simulated radio) and runs the contact to its end.
    Result Contact();
    // The contact again on the radio already in use (after a job stopped), to find what it does.
    Result ContactAgain();
    // Contact() for a job that needs the radio: 0, or, after saying why on standard error,
    // the exit status.
    int Begin();
    // Says why Contact() failed, with what a person at a terminal can do about it; returns the
    // exit status. A port that would not open is "rm7util: PORT: why" and one hint line.
    int ReportContactFailure(Result r);
    // Whether the last Contact() got the port open (its failure, if any, came after).
    bool PortOpened() const { return m_portOpened; }

    CModel& Model() { return *m_model; }
    CRadioSession& Radio() { return *m_radio; }
    IMessagePump& Pump() { return m_env.Loop().Pump(); }
    IEnvironment& Env() { return m_env; }
    const GlobalOptions& Options() const { return m_options; }

    // Runs the pump until done() or timeoutMs; false on time-out.
    bool RunUntil(const std::function<bool()>& done, std::uint32_t timeoutMs) {
        return m_env.Loop().RunUntil(done, timeoutMs);
    }
    // The command tester from a terminal: sends text as the tester's input line does (paced when
    // it is a paced text) and gathers what arrives until the line has been quiet for quietMs
    // (counted from the last piece, and again from every byte). A failure (the port went away)
    // comes with what arrived before it.
    struct IdleAnswer {
        Result result = kOk;
        std::string bytes;
    };
    IdleAnswer ExchangeCommands(const std::string& text, std::uint32_t quietMs);

  private:
    // --simulate: this run's firmware folder and file server are scratch ones.
    void UseSimulatedFirmware();

    LResult OnMessage(std::uint32_t code, WParam wParam, LParam lParam) override;

    IEnvironment& m_env;
    GlobalOptions m_options;
    CConsoleNotifier m_notifier;
    CSettingsStore m_settings;
    CSimulatedFirmware m_simulatedFirmware;
    std::unique_ptr<CModel> m_model;
    std::unique_ptr<CRadioSession> m_radio;
    CObservation m_portEvent;
    std::optional<Result> m_completion;
    bool m_nobodyAnswered = false;  // the last Contact() ran out of time
    bool m_portOpened = false;      // the last Contact() had the port open
};

// Runs one job's machine from its start to its outcome (for a job that resets the radio,
// the result of the contact that follows). The machines end by themselves, every wait having
// its time-out; the limit only guards against a radio that keeps answering nonsense for ever.
class CMachineRun final {
  public:
    explicit CMachineRun(CSession& session, std::uint32_t limitMs = 30 * 60 * 1000)
        : m_session(session), m_limitMs(limitMs) {}

    template <typename Start>
    Result Run(IStateMachine& machine, Start start) {
        std::optional<Result> outcome;
        CJobRun run(m_session.Radio(), machine, [&outcome](Result r) { outcome = r; });
        if (!run.Start(start)) {
            return outcome.value_or(kErrBusyStateMachine);
        }
        if (!m_session.RunUntil([&] { return outcome.has_value(); }, m_limitMs)) {
            return kErrorTimeout;
        }
        return *outcome;
    }

  private:
    CSession& m_session;
    std::uint32_t m_limitMs;
};

// The exit status of a mistake on the command line, and of a job that cannot start for want of
// something only the command line can give (a port, a file to send).
inline constexpr int kExitUsage = 2;

// "rm7util: COMMAND: why" on standard error, as a job's failure is said; returns the exit status.
int ReportFailure(std::ostream& err, Result r);
// The same with a text more telling than the code's own.
int ReportFailure(std::ostream& err, Result r, const std::string& text);
// What the last ReportFailure() said (code kOk when nothing since the last call), so that --json
// can give it on standard output too.
struct ReportedFailure {
    Result code = kOk;
    std::string text;
};
ReportedFailure TakeReportedFailure();
// Keeps a failure said in another form than ReportFailure()'s, for --json.
void RecordFailure(Result r, const std::string& text);
// The command being run ("config restore"), which ReportFailure names; empty: none named.
void SetCommandName(std::string name);
// A file that could not be read, said once: "rm7util: PATH: why" in the system's words.
int ReportFileFailure(std::ostream& err, Result r, const std::string& path);
// Why path is no file to read, in errno's own words ("No such file or directory", "Is a
// directory", "not a regular file"); empty for a regular file. Asked before a reader runs, so
// that no reader's own words (of lines, or of restoring) are said about what is no file at all.
std::string InputFileProblem(const std::string& path);
// Whether text (a file's beginning) is a configuration file's, not some other file's.
bool LooksLikeConfigurationFile(std::string_view text);
// For the configuration commands: the path's problem, or "not a configuration file", said once
// on err as "rm7util: PATH: why"; false when it was said.
bool ConfigurationFileToRead(std::ostream& err, const std::string& path);
// The first thing that would stop a file being written at `file` (a missing or read-only folder, a
// folder in its place): errno's code and the path it concerns; error 0 when nothing is seen.
struct WriteObstacle {
    int error = 0;
    std::filesystem::path path;
};
WriteObstacle FindWriteObstacle(const std::filesystem::path& file);
// A file that could not be written, said once: "rm7util: PATH: why", naming the folder where
// FindWriteObstacle sees why. A failure that is not the file system's goes to ReportFailure().
int ReportWriteFailure(std::ostream& err, Result r, const std::filesystem::path& file);

// The one line rm7util prints for a failure that happens before any job (a port that will not
// open, a file that cannot be read): "rm7util: <what>: <why>".
void SayFailure(std::ostream& err, const std::string& what, const std::string& why);
// At most one line after it, saying what to do: "hint: <text>" (a sentence).
void SayHint(std::ostream& err, const std::string& text);
// What to do about a port that failed to open with r, for a person at a terminal.
std::string PortOpenHint(const std::string& port, Result r);

}  // namespace rm7::cli
