#pragma once
// The radio's clock. The protocol has no command for it, so CDateTimeStateMachine sets it as a
// user would: it opens the radio's time menu ("MN073;"), reads the time off the VFO A display
// ("DS;") and taps the field switches and UP/DN until the display shows the computer's time.
// Its three runs are a read, a set pass (read, then correct one field by at most 15 steps) and
// leaving the menu ("MN255;").
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

#include "link/basic_states.h"
#include "model/messages.h"
#include "model/observable.h"
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

}  // namespace rm7
