#pragma once
// CTXGCJob: the TX gain calibration as the wizard and `rm7util calibrate` run it, through the job
// shell (link/job_shell.h): the configuration backup before the transmitter is keyed, the run,
// the stop rule (a stop goes through the run's restore: the radio goes back to receive and to its
// settings first) and the outcome, which names the bands that were calibrated and those that
// were not, whether every setting was put back, and what the user must still do. It also decides
// which wizard buttons each page offers and when the calibrate page may be left; the Qt wizard
// only shows and forwards.
//
// Threads: UI thread only, like the machine it owns.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "config/job_backup.h"
#include "link/job_shell.h"
#include "link/timer_ids.h"
#include "txgain/txgc_machine.h"
#include "txgain/txgc_progress.h"

namespace rm7 {

class CTXGCJob final : private IMessageTarget {
  public:
    enum class Page { Welcome, DummyLoad, Calibrate, Completion };
    struct Buttons {
        bool back;
        bool next;
        bool finish;
    };

    // backup: where the configuration is saved before each run, or that none is.
    CTXGCJob(CRadioSession& session, IJobView& view, AutoBackupSettings backup);
    ~CTXGCJob();
    CTXGCJob(const CTXGCJob&) = delete;
    CTXGCJob& operator=(const CTXGCJob&) = delete;

    // The wizard opened: its machine becomes the session's active machine.
    void Open();
    // The wizard is going away: no more notices, no active machine.
    void Close();

    static Buttons ButtonsFor(Page page);
    // The Calibration page offers the wizard only while an RM7 runs its firmware.
    static bool Available(const CModel& model);
    // "Calibrate": three header lines in the log, the configuration backup, then the run; refused
    // (false) while one runs. A failed backup asks whether to go on without one.
    bool Calibrate();
    // Next and Back on the calibrate page: refused while the contact or the calibration runs.
    bool CanLeaveCalibratePage() const;
    // Cancel: true when nothing runs (the wizard may close now). Otherwise a running calibration
    // is stopped through its restore, and its outcome follows.
    bool QueryCancel();
    // What the completion page shows: the lines of every run, then the last run's outcome.
    std::string CompletionText() const;

    // What a view shows of the run. The listener is told whenever it changes: a band or power
    // step begins, the carrier is keyed or stopped, and each second while a run goes on (the
    // elapsed time); from the pump, sometimes from inside the run's states.
    TXGCProgress Progress() const;
    void SetProgressListener(std::function<void(const TXGCProgress&)> listener) {
        m_progressListener = std::move(listener);
    }
    // The completion page's table: a row per band of the last run; none before a run.
    std::vector<TXGCBandRow> BandRows() const;

    bool Running() const { return m_shell.Running(); }
    CTXGCStateMachine& Machine() { return m_machine; }
    CJobShell& Shell() { return m_shell; }

  private:
    static constexpr std::uint32_t kTickTimer = kTimerTxgcJobTick;

    LResult OnMessage(std::uint32_t code, WParam wParam, LParam lParam) override;
    JobOutcome Finish(Result r);
    void TellProgress();

    CRadioSession& m_session;
    CTXGCStateMachine m_machine;
    CJobBackup m_backup;
    CJobShell m_shell;
    bool m_open = false;
    std::function<void(const TXGCProgress&)> m_progressListener;
    std::optional<TXGCProgress> m_told;
    // For the elapsed time and the estimate: the run's start, the first step's and the current one's.
    std::uint32_t m_runStart = 0;
    std::optional<std::uint32_t> m_firstStepStart;
    std::uint32_t m_stepStart = 0;
    std::uint32_t m_stepsBegun = 0;
    bool m_stopping = false;
    bool m_machineStarted = false;
};

inline constexpr const char* kTXGCCaption = "TX Gain Calibration";
inline constexpr const char* kCalibrateButtonText = "Calibrate TX Gain...";
inline constexpr const char* kCalibrateButtonTip = "Calibrate TX Gain with a dummy load";
inline constexpr const char* kNoCalibrationText = "No calibration was attempted";
inline constexpr const char* kCalibrationStepText = "Calibrating TX gain";
inline constexpr const char* kCalibrationCancelledText = "TX gain calibration was cancelled";
inline constexpr const char* kSettingsPutBackText = "every setting the calibration changed was put back";
inline constexpr const char* kTXGCHelpTopics[4] = {"TXGainCalibration.htm#Welcome", "TXGainCalibration.htm#DummyLoad",
                                                   "TXGainCalibration.htm#Calibrate4W",
                                                   "TXGainCalibration.htm#Completion"};

}  // namespace rm7
