#pragma once
// The radio's clock. The protocol has no command for it, so CDateTimeStateMachine sets it as a
// user would: it opens the radio's time menu ("MN073;"), reads the time off the VFO A display
// ("DS;") and taps the field switches and UP/DN until the display shows the computer's time.
// Its three jobs are a read, a set pass (read, then correct one field by at most 15 steps) and
// leaving the menu ("MN255;"). CDateTimeJob is everything the "Set Time" sheet decides, so that
// the Qt sheet only shows and forwards.
//
// Only hours, minutes and seconds can be set. A correction that would carry the radio across
// midnight (its clock and the computer's on either side of it, the radio's taken to be within
// 12 hours of the computer's) would leave the radio's date a day off, so a set pass refuses it
// unless the caller allowed it.
//
// Threads: UI thread only, like every machine.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "link/generic_states.h"
#include "link/job_run.h"
#include "link/job_shell.h"
#include "link/job_step_view.h"
#include "model/messages.h"
#include "model/observable.h"
#include "model/user_notifier.h"
#include "platform/wall_clock.h"

namespace rm7 {

inline constexpr const char* kDateTimeUtcSetting = "DateTimeUtc";

// The radio time value: hours * 65536 + minutes * 256 + seconds.
int PackRadioTime(const TimeOfDay& t);
TimeOfDay UnpackRadioTime(int value);
// "HH:MM:SS".
std::string TimeOfDayText(const TimeOfDay& t);

// The time on a "DS" display answer: characters 4 to 9, each a digit with or without its
// decimal point (the low four bits are the digit), as hours, minutes and seconds. A blank ('@')
// reads as 0 (a radio may blank a leading zero), but only on a display with the time menu's
// points after the hours and the minutes, and not in all six places. False for anything else,
// or a time that is not one (25:00:00, 12:61:00): a display the menu does not fill must never
// pass for a time.
bool ParseDisplayTime(const std::string& answer, TimeOfDay& out);

// The steps that bring one field from the radio's value to the computer's, the shorter way
// round (exactly half the modulus goes the direct way), at most 15: "UP;" or "DN;" repeated.
std::string FieldSteps(int radio, int computer, int modulus);
// What one set pass sends: the first field that differs (seconds, then minutes, then hours),
// its switch tap and its steps; empty when the times agree.
std::string SetTimeCommand(const TimeOfDay& radio, const TimeOfDay& computer);
// Whether bringing the radio to the computer's time crosses midnight.
bool CrossesMidnight(const TimeOfDay& radio, const TimeOfDay& computer);
// The computer's time minus the radio's, in seconds, the shorter way round (-43199 to 43200).
int ClockDifference(const TimeOfDay& radio, const TimeOfDay& computer);
// That difference for a person: "Clocks agree", "RM7 is 5 s behind", "RM7 is 1 h 2 min 3 s ahead".
std::string ClockDifferenceText(int seconds);
inline constexpr const char* kClockSetText = "Clock set";

class CDateTimeStateMachine;

class CSetTimeMenuState final : public CCommandDelayState<CDateTimeStateMachine> {
  public:
    CSetTimeMenuState(CStateHost<CDateTimeStateMachine>& host, const char* name, CState* next)
        : CCommandDelayState(host, name, next, 250, "MN073;") {}
};

class CGetTimeState final : public CGetVfoADisplayState<CDateTimeStateMachine> {
  public:
    CGetTimeState(CStateHost<CDateTimeStateMachine>& host, CState* next)
        : CGetVfoADisplayState(host, "GetTime", next) {}
    // An answer that does not hold a time is dropped like any invalid one: the read is retried
    // and, answered so every time, fails with "No response to VFO A ... (DS)".
    AnswerCheck CheckAnswer(const std::string& answer) override;
    void OnValidResponse() override;

  private:
    TimeOfDay m_parsed;
};

class CSetTimeState final : public CCommandDelayState<CDateTimeStateMachine> {
  public:
    CSetTimeState(CStateHost<CDateTimeStateMachine>& host, CState* next)
        : CCommandDelayState(host, "SetTime", next, 10, "") {}
    void Init() override;
    void Run() override;

  private:
    bool m_acrossMidnight = false;
};

class CDateTimeStateMachine final : public CStateHost<CDateTimeStateMachine> {
  public:
    static constexpr std::uint32_t kTimerId = kTimerDateTime;
    // Milliseconds since the Unix epoch.
    using WallClock = std::function<std::int64_t()>;

    explicit CDateTimeStateMachine(CRadioSession& session, WallClock clock = WallClockMs);

    // Each false, with the thread's last error, when busy.
    bool StartRead();
    bool StartSetPass();
    bool StartExit();

    // The computer's time now, UTC or local as the setting says.
    TimeOfDay ComputerTime() const { return TimeOfDayAt(m_clock(), utc.Get() != 0); }
    TimeOfDay RadioTime() const { return UnpackRadioTime(radioTime.Get()); }
    // A set pass may carry the radio across midnight (its date is then the user's to set).
    void AllowAcrossMidnight(bool allow) { m_acrossMidnight = allow; }
    bool AcrossMidnightAllowed() const { return m_acrossMidnight; }
    // What the last set pass sent; empty when it found the times equal.
    const std::string& LastSetCommand() const { return m_lastSetCommand; }
    void SetLastSetCommand(std::string command) { m_lastSetCommand = std::move(command); }

    // The time as last read from the display.
    CObservable<int> radioTime;
    // Not 0: the computer's time is taken as UTC; 0: local time.
    CPersistable<int> utc;

    CExitMenuState<CDateTimeStateMachine> m_exitMenu;
    CSetTimeMenuState m_timeMenu;
    CGetTimeState m_getTime;
    CSetTimeMenuState m_timeMenu2;
    CGetTimeState m_getTime2;
    CSetTimeState m_setTime;

  private:
    WallClock m_clock;
    bool m_acrossMidnight = false;
    std::string m_lastSetCommand;
};

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
