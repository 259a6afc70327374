#pragma once
// CTXGCJob: everything the TX gain calibration wizard decides: which wizard buttons each page
// offers, what "Calibrate" does, when Next and Back are refused, what Cancel and closing the
// window do while the carrier may be keyed (the run is stopped through its restore and the
// wizard closes only when it has ended), and what the completion page shows. The Qt wizard only
// shows and forwards.
//
// Threads: UI thread only, like the machine it owns.
#include <cstdint>
#include <string>

#include "config/auto_backup.h"
#include "link/job_run.h"
#include "txgain/txgc_machine.h"

namespace rm7 {

// What the wizard must offer its job.
class ITXGCView {
  public:
    // Appends a line to the calibrate page's log box.
    virtual void AppendLog(const std::string& line) = 0;
    // The wizard's Back, Next and Finish buttons.
    virtual void SetWizardButtons(bool back, bool next, bool finish) = 0;
    virtual void SetCalibrateEnabled(bool enabled) = 0;
    // "Click Next to continue".
    virtual void ShowClickNext(bool shown) = 0;
    // The wait cursor over the page, except over the Cancel button.
    virtual void SetBusyCursor(bool busy) = 0;
    // Closes the wizard; may be called from inside a radio callback: must return at once.
    virtual void CloseWizard() = 0;
    // A question with Yes and No (the backup before the run failed: go on without one?).
    virtual bool AskYesNo(const std::string& caption, const std::string& text) = 0;

  protected:
    ~ITXGCView() = default;
};

class CTXGCJob final : private IMessageTarget {
  public:
    enum class Page { Welcome, DummyLoad, Calibrate, Completion };
    struct Buttons {
        bool back;
        bool next;
        bool finish;
    };

    // backup: where the configuration is saved before each run, or that none is.
    CTXGCJob(CRadioSession& session, ITXGCView& view, AutoBackupSettings backup);
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
    // (false) while a backup or a run is going. A failed backup asks whether to go on without one.
    bool Calibrate();
    // Next and Back on the calibrate page: refused while the contact or the calibration runs.
    bool CanLeaveCalibratePage() const;
    // Cancel, or the window's close request: true when the wizard may close now. Otherwise a
    // running calibration is stopped through its restore and the wizard closes when it ends.
    bool QueryCancel();
    // What the completion page shows.
    std::string CompletionText() const;

    bool Running() const { return m_backingUp || m_run.Running(); }
    CTXGCStateMachine& Machine() { return m_machine; }

  private:
    LResult OnMessage(std::uint32_t code, WParam wParam, LParam lParam) override;
    void OnBackup(const BackupOutcome& outcome);
    void OnCompletion(Result r);
    void EndBusy();

    CRadioSession& m_session;
    ITXGCView& m_view;
    CTXGCStateMachine m_machine;
    CJobRun m_run;
    CAutoBackup m_backup;
    bool m_backingUp = false;
    std::uint32_t m_startTick = 0;
    int m_busy = 0;
    bool m_cancelPending = false;
    bool m_open = false;
};

inline constexpr const char* kTXGCCaption = "TX Gain Calibration";
inline constexpr const char* kCalibrateButtonText = "Calibrate TX Gain...";
inline constexpr const char* kCalibrateButtonTip = "Calibrate TX Gain with a dummy load";
inline constexpr const char* kNoCalibrationText = "No calibration was attempted";
inline constexpr const char* kTXGCHelpTopics[4] = {"TXGainCalibration.htm#Welcome", "TXGainCalibration.htm#DummyLoad",
                                                   "TXGainCalibration.htm#Calibrate4W",
                                                   "TXGainCalibration.htm#Completion"};

}  // namespace rm7
