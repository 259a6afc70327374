#include "clock/date_time_machine.h"

#include <cstdlib>

#include "platform/error_text.h"
#include "platform/format.h"
#include "platform/settings.h"
#include "platform/version.h"

namespace rm7 {

namespace {

constexpr int kMaxStepsPerPass = 15;

constexpr unsigned char kDisplayPoint = 0x80;
constexpr unsigned char kDisplayBlank = '@';

// A display character that shows a digit, with or without its decimal point. The blank stands
// for 0, as its low four bits say: the radio may blank a leading zero.
bool DisplayDigit(char c, int& digit, bool& blank) {
    const auto byte = static_cast<unsigned char>(c & ~kDisplayPoint);
    blank = byte == kDisplayBlank;
    if (!blank && (byte < '0' || byte > '9')) {
        return false;
    }
    digit = byte & 0x0F;
    return true;
}

}  // namespace

int PackRadioTime(const TimeOfDay& t) {
    return t.hour * 65536 + t.minute * 256 + t.second;
}

TimeOfDay UnpackRadioTime(int value) {
    return {(value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF};
}

std::string TimeOfDayText(const TimeOfDay& t) {
    return StrFormat("%02u:%02u:%02u", static_cast<unsigned>(t.hour), static_cast<unsigned>(t.minute),
                     static_cast<unsigned>(t.second));
}

bool ParseDisplayTime(const std::string& answer, TimeOfDay& out) {
    if (answer.size() < 10 || !StartsWithNoCase(answer, "DS")) {
        return false;
    }
    int digits[6];
    int blanks = 0;
    for (int i = 0; i < 6; ++i) {
        bool blank = false;
        if (!DisplayDigit(answer[static_cast<std::size_t>(4 + i)], digits[i], blank)) {
            return false;
        }
        blanks += blank ? 1 : 0;
    }
    // A blank is read only on the time menu's display, with its points after the hours and the
    // minutes: the frequency's display, blank in front ("@14.035.00"), must not pass for a time,
    // nor may a display with no digit at all.
    const auto pointAt = [&](std::size_t i) { return (static_cast<unsigned char>(answer[i]) & kDisplayPoint) != 0; };
    if (blanks > 0 && (blanks == 6 || !pointAt(5) || !pointAt(7))) {
        return false;
    }
    const TimeOfDay t{digits[0] * 10 + digits[1], digits[2] * 10 + digits[3], digits[4] * 10 + digits[5]};
    if (t.hour > 23 || t.minute > 59 || t.second > 59) {
        return false;
    }
    out = t;
    return true;
}

std::string FieldSteps(int radio, int computer, int modulus) {
    const int d = computer - radio;
    bool up = d > 0;
    int n = std::abs(d);
    if (n > modulus / 2) {
        up = !up;
        n = modulus - n;
    }
    if (n > kMaxStepsPerPass) {
        n = kMaxStepsPerPass;
    }
    std::string steps;
    for (int i = 0; i < n; ++i) {
        steps += up ? "UP;" : "DN;";
    }
    return steps;
}

std::string SetTimeCommand(const TimeOfDay& radio, const TimeOfDay& computer) {
    if (radio.second != computer.second) {
        return "SWT20;" + FieldSteps(radio.second, computer.second, 60);
    }
    if (radio.minute != computer.minute) {
        return "SWT27;" + FieldSteps(radio.minute, computer.minute, 60);
    }
    if (radio.hour != computer.hour) {
        return "SWT19;" + FieldSteps(radio.hour, computer.hour, 24);
    }
    return {};
}

bool CrossesMidnight(const TimeOfDay& radio, const TimeOfDay& computer) {
    return std::abs(computer.SecondsOfDay() - radio.SecondsOfDay()) > kSecondsPerDay / 2;
}

std::string ClockDifferenceText(int seconds) {
    if (seconds == 0) {
        return "Clocks agree";
    }
    // The difference is the computer's time minus the radio's: above 0 the radio is behind.
    const unsigned apart = static_cast<unsigned>(seconds < 0 ? -seconds : seconds);
    std::string text;
    if (apart >= 3600) {
        text += StrFormat("%u h ", apart / 3600);
    }
    if (apart >= 60 && apart % 3600 / 60 != 0) {
        text += StrFormat("%u min ", apart % 3600 / 60);
    }
    if (apart % 60 != 0) {
        text += StrFormat("%u s ", apart % 60);
    }
    return StrFormat("%s is %s%s", kModelName, text.c_str(), seconds > 0 ? "behind" : "ahead");
}

int ClockDifference(const TimeOfDay& radio, const TimeOfDay& computer) {
    int d = computer.SecondsOfDay() - radio.SecondsOfDay();
    if (d > kSecondsPerDay / 2) {
        d -= kSecondsPerDay;
    } else if (d <= -kSecondsPerDay / 2) {
        d += kSecondsPerDay;
    }
    return d;
}

AnswerCheck CGetTimeState::CheckAnswer(const std::string& answer) {
    return ValidIf(HasPrefix(answer) && ParseDisplayTime(answer, m_parsed));
}

void CGetTimeState::OnValidResponse() {
    Host().radioTime.Set(PackRadioTime(m_parsed));
    OnSuccess();
}

void CSetTimeState::Init() {
    CCommandDelayState::Init();
    const TimeOfDay radio = Host().RadioTime();
    const TimeOfDay computer = Host().ComputerTime();
    m_command = SetTimeCommand(radio, computer);
    m_acrossMidnight = CrossesMidnight(radio, computer);
    if (m_acrossMidnight && !Host().AcrossMidnightAllowed()) {
        m_command.clear();
    }
    Host().SetLastSetCommand(m_command);
}

void CSetTimeState::Run() {
    // Refused before the first tap: the radio keeps its time and its date.
    if (m_acrossMidnight && !Host().AcrossMidnightAllowed()) {
        Fail(kErrClockAcrossMidnight);
        return;
    }
    CCommandDelayState::Run();
}

CDateTimeStateMachine::CDateTimeStateMachine(CRadioSession& session, WallClock clock)
    : CStateHost(session, kTimerId),
      radioTime(session.Pump(), kMsgRadioTime),
      utc(session.Pump(), kMsgDateTimeUtc, kDateTimeUtcSetting, 1),
      m_exitMenu(*this, "ExitMenu", &FinalState()),
      m_timeMenu(*this, "SetTimeMenu", &m_getTime),
      m_getTime(*this, &FinalState()),
      m_timeMenu2(*this, "SetTimeMenu2", &m_getTime2),
      m_getTime2(*this, &m_setTime),
      m_setTime(*this, &FinalState()),
      m_clock(std::move(clock)) {}

bool CDateTimeStateMachine::StartRead() {
    return Start(m_timeMenu);
}

bool CDateTimeStateMachine::StartSetPass() {
    return Start(m_timeMenu2);
}

bool CDateTimeStateMachine::StartExit() {
    return Start(m_exitMenu);
}

}  // namespace rm7
