// calibrate: the TX gain calibration of the desktop application's wizard, the same job. It keys
// the radio's transmitter, so it runs only when told a dummy load is on (--yes), and a SIGINT or
// SIGTERM stops it through its restore: the radio goes back to receive and to its own settings
// first.
#include <nlohmann/json.hpp>

#include "cli/commands.h"
#include "cli/job_views.h"
#include "cli/session.h"
#include "platform/paths.h"
#include "platform/settings.h"
#include "txgain/txgc_job.h"

namespace rm7::cli {
namespace {

// At a terminal the session's status lines already are the job's log (the machine's lines and the
// backup's reach standard error through them): the view is given every call but Log, so that no
// line is said twice.
class CStatusLoggedView final : public IJobView {
  public:
    explicit CStatusLoggedView(IJobView& view) : m_view(view) {}
    void SetBusy(bool busy) override { m_view.SetBusy(busy); }
    void ShowProgress(const JobProgress& progress) override { m_view.ShowProgress(progress); }
    void Log(const std::string& line) override { (void)line; }
    void ShowBox(const std::string& caption, const std::string& text, MessageIcon icon) override {
        m_view.ShowBox(caption, text, icon);
    }
    void Ask(const JobQuestion& question, std::function<void(bool yes)> answer) override {
        m_view.Ask(question, std::move(answer));
    }
    void ShowOutcome(const JobOutcome& outcome) override { m_view.ShowOutcome(outcome); }

  private:
    IJobView& m_view;
};

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end - start));
        start = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}

}  // namespace

int RunCalibrate(IEnvironment& env, const GlobalOptions& options) {
    if (!options.yes) {
        // Nothing is opened, nothing is sent: the transmitter must not be keyed into an antenna.
        env.Err() << "rm7util: calibrate keys the transmitter: connect a dummy load of 6 W or more to ANT and run "
                     "again with --yes\n";
        return 2;
    }
    return RunOnRadio(env, options, [&](CSession& session, CTerminalJobView& view) {
        CSettingsStore settings(SettingsFilePath());
        settings.Load();
        AutoBackupSettings backup = ReadAutoBackupSettings(&settings);
        if (options.noBackup) {
            backup.enabled = false;
        }
        CStatusLoggedView logged(view);
        CTXGCJob job(session.Radio(), logged, backup);
        job.Open();
        // A stop signal stops the run at its next step; the restore that follows is never cut short.
        // No question first: stopping only puts the radio back.
        const int status = RunJobToOutcome(
            session, job.Shell(), view, [&job] { job.Calibrate(); }, 30 * 60 * 1000,
            [&job, &env] {
                if (job.Running() && !job.QueryCancel()) {
                    env.Err() << "Stopping: the radio is put back to receive and to its "
                                 "settings first\n";
                }
            });

        const std::vector<std::string> summary = SplitLines(job.Machine().SummaryText());
        if (options.json) {
            nlohmann::json bands = nlohmann::json::array();
            for (const BandOutcome& band : job.Machine().Bands()) {
                bands.push_back({{"frequency_khz", band.kHz},
                                 {"power_steps", band.steps},
                                 {"swr", band.swrTenths / 10.0},
                                 {"skipped", band.skipped},
                                 {"tune_stopped", band.tuneStopped}});
            }
            view.PrintJsonOutcome(
                {{"elapsed_seconds", job.Machine().ElapsedSeconds()}, {"summary", summary}, {"bands", bands}});
        } else {
            for (const std::string& line : summary) {
                env.Out() << line << "\n";
            }
        }
        return status;
    });
}

}  // namespace rm7::cli
