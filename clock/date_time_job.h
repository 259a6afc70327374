#pragma once
// CDateTimeJob: everything the "Set Time" sheet and rm7util's `clock` decide, run through the
// job shell, so that the Qt sheet only shows and forwards.
//
// Threads: UI thread only, like the machine it owns.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "clock/date_time_machine.h"
#include "link/job_run.h"
#include "link/job_shell.h"
#include "link/job_step_view.h"
#include "model/observable.h"
#include "model/user_notifier.h"

namespace rm7 {

// The sheet's own controls, which the job fills.
class IDateTimeView {
  public:
    virtual void ShowComputerTime(const std::string& text) = 0;
    virtual void ShowRadioTime(const std::string& text) = 0;
    // How far apart the clocks are (ClockDifferenceText) once the radio's has been read, and
    // "Clock set" when a set has brought them together.
    virtual void ShowDifference(const std::string& text) = 0;
    // Checks "UTC" (true) or "Local".
    virtual void ShowUtc(bool utc) = 0;
    // OK and Apply can be pressed.
    virtual void SetApplyEnabled(bool enabled) = 0;

  protected:
    ~IDateTimeView() = default;
};

// The question asked when a set would carry the radio across midnight.
inline constexpr const char* kAcrossMidnightQuestion =
    "The radio's date will be one day off: set it by hand afterwards. Set the time anyway?";

// The "Set Time" sheet without its window, and rm7util's clock, through the job shell. While the
// sheet is shown it reads the radio's time again and again (quiet steps); OK or Apply run set
// passes until the radio shows the computer's time. A set that would carry the radio across
// midnight is asked about first (Yes sets the time anyway, No goes back to reading). The radio's
// time menu is left ("MN255;") before the job ends, whatever ended it; the outcome is told once
// then: the time set, the cancel, or the failure.
class CDateTimeJob final : private IMessageTarget {
  public:
    enum class PageState { Idle, ReadingAgain, Reading, Setting, Leaving, Asking };
    // Set passes without the radio showing the computer's time before the set gives up.
    static constexpr int kMaxSetPasses = 20;

    // fields may be null (rm7util has none).
    CDateTimeJob(CRadioSession& session, IJobView& view, IDateTimeView* fields = nullptr,
                 CDateTimeStateMachine::WallClock clock = WallClockMs);
    ~CDateTimeJob();
    CDateTimeJob(const CDateTimeJob&) = delete;
    CDateTimeJob& operator=(const CDateTimeJob&) = delete;

    // The page was shown: load the setting, show both clocks and start reading.
    void Show();
    // The page was hidden or is going away: no more notices, the setting saved.
    void Hide();
    // "UTC" (true) or "Local" chosen.
    void ChooseUtc(bool utc);
    // OK (closeAfter) or Apply; true when the sheet stays open for now.
    bool Apply(bool closeAfter);
    // Cancel or the window's close request; true when the sheet stays open for now.
    bool QueryCancel();

    // rm7util: reads the radio's time once, then leaves the menu.
    void ReadOnce(bool utc);
    // rm7util: reads, sets until the radio shows the computer's time, reads again, leaves the
    // menu. A set across midnight fails unless acrossMidnight.
    void SetOnce(bool utc, bool acrossMidnight);

    CDateTimeStateMachine& Machine() { return m_machine; }
    CJobShell& Shell() { return m_shell; }
    PageState State() const { return m_state; }

  private:
    LResult OnMessage(std::uint32_t code, WParam wParam, LParam lParam) override;
    void OnStep(Result r);
    void AskAcrossMidnight();
    void ShowComputerTime();
    void ShowDifference();
    void Begin(PageState state, bool (CDateTimeStateMachine::*start)());
    // Leaves the menu; the job then ends with outcome.
    void Leave(JobOutcome outcome);
    void Fail(Result r);
    void HoldBusy(bool hold);
    std::string SetText() const;

    CModel& m_model;
    IDateTimeView* m_fields;
    CDateTimeStateMachine m_machine;
    CObservation m_timeObservation;
    CObservation m_utcObservation;
    CJobStepView m_steps;
    CJobShell m_shell;
    TimeOfDay m_computerTime;
    PageState m_state = PageState::Idle;
    JobOutcome m_final;
    std::string m_lastSet;  // what the last set in this run did; empty: none
    int m_passes = 0;
    bool m_once = false;  // rm7util: one read or one set, then the menu is left
    bool m_setRequested = false;
    bool m_closeAfterSet = false;
    bool m_cancelRequested = false;
    bool m_busyHeld = false;
    bool m_shown = false;
    bool m_radioTimeRead = false;
    bool m_clockSet = false;
    // Cleared when the job goes away, so a late answer finds nothing to do.
    std::shared_ptr<CDateTimeJob*> m_self;
};

inline constexpr const char* kDateTimeCaption = "Set Time";
inline constexpr const char* kDateTimeHint = "Click OK or Apply to Set RM7 Time";
inline constexpr const char* kDateTimeHelpTopic = "Configuration.htm#SetDateTime";
inline constexpr const char* kSetTimeTip = "Set RM7 Time from PC Time";
inline constexpr const char* kClockReadText = "The radio's clock was read";
inline constexpr const char* kClockUnchangedText = "The radio's clock was not changed";
inline constexpr const char* kClockReadCancelledText = "Reading the radio's clock was cancelled";
inline constexpr const char* kClockReadFailedText = "Failed to read the radio's clock";
inline constexpr const char* kClockSetFailedText = "Failed to set the radio's clock";
inline constexpr const char* kClockSetCancelledText = "Setting the radio's clock was cancelled";
inline constexpr const char* kClockReadAgainText = "Read the radio's clock again to see what it shows";
inline constexpr const char* kClockDateText =
    "The radio's clock and the computer's lie on either side of midnight: after the set, set the radio's date on "
    "its front panel";

}  // namespace rm7
