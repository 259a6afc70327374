#include "memories/date_time.h"

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

CDateTimeJob::CDateTimeJob(CRadioSession& session, IDateTimeView& view, CDateTimeStateMachine::WallClock clock)
    : m_model(session.Model()),
      m_view(view),
      m_machine(session, std::move(clock)),
      m_run(session, m_machine, [this](Result r) { OnCompletion(r); }) {}

CDateTimeJob::~CDateTimeJob() {
    Hide();
    m_model.Pump().Forget(this);
}

void CDateTimeJob::Show() {
    if (m_shown) {
        return;
    }
    m_shown = true;
    if (CSettingsStore* settings = m_model.Settings()) {
        m_machine.utc.Load(*settings);
    }
    m_setRequested = m_closeAfterSet = m_cancelRequested = m_failed = false;
    ShowComputerTime();
    m_view.SetApplyEnabled(true);
    m_run.Claim();
    m_timeObservation = CObservation(m_machine.radioTime, this);
    m_utcObservation = CObservation(m_machine.utc, this);
    m_machine.utc.Notify(this);
    Begin(PageState::Reading, &CDateTimeStateMachine::StartRead);
}

void CDateTimeJob::Hide() {
    if (!m_shown) {
        return;
    }
    m_shown = false;
    m_timeObservation.Reset();
    m_utcObservation.Reset();
    m_run.Release();
    if (CSettingsStore* settings = m_model.Settings()) {
        std::uint32_t before = 0;
        const bool stored = settings->ReadDword("", kDateTimeUtcSetting, before) == kOk;
        m_machine.utc.Save(*settings);
        if (!stored || before != static_cast<std::uint32_t>(m_machine.utc.Get())) {
            settings->Save();
        }
    }
}

void CDateTimeJob::ChooseUtc(bool utc) {
    m_machine.utc.Set(utc ? 1 : 0);
    ShowComputerTime();
}

bool CDateTimeJob::Apply(bool closeAfter) {
    if (m_state == PageState::Idle) {
        return false;
    }
    if (!m_setRequested) {
        m_passes = 0;
        m_machine.AllowAcrossMidnight(false);  // asked again for each set
    }
    m_setRequested = true;
    m_closeAfterSet = m_closeAfterSet || closeAfter;
    return true;
}

bool CDateTimeJob::QueryCancel() {
    m_cancelRequested = true;
    return m_state != PageState::Idle;
}

void CDateTimeJob::ShowComputerTime() {
    m_computerTime = m_machine.ComputerTime();
    m_view.ShowComputerTime(TimeOfDayText(m_computerTime));
    ShowDifference();
}

void CDateTimeJob::ShowDifference() {
    if (!m_radioTimeRead) {
        return;
    }
    // "Clock set" stays until a reading of the radio's clock says otherwise.
    m_view.ShowDifference(m_clockSet ? kClockSetText
                                     : ClockDifferenceText(ClockDifference(m_machine.RadioTime(), m_computerTime)));
}

void CDateTimeJob::Begin(PageState state, bool (CDateTimeStateMachine::*start)()) {
    m_state = state;
    m_run.Start([this, start] { return (m_machine.*start)(); });
}

void CDateTimeJob::Leave() {
    Begin(PageState::Leaving, &CDateTimeStateMachine::StartExit);
}

LResult CDateTimeJob::OnMessage(std::uint32_t code, WParam, LParam) {
    if (code == kMsgRadioTime) {
        m_view.ShowRadioTime(TimeOfDayText(m_machine.RadioTime()));
        m_radioTimeRead = true;
        m_clockSet = m_clockSet && m_machine.RadioTime() == m_machine.ComputerTime();
        ShowDifference();
    } else if (code == kMsgDateTimeUtc) {
        m_view.ShowUtc(m_machine.utc.Get() != 0);
    } else if (code == kMsgAskAcrossMidnight) {
        AskAcrossMidnight();
    }
    return 0;
}

void CDateTimeJob::AskAcrossMidnight() {
    if (m_state != PageState::Asking) {
        return;
    }
    const bool anyway =
        !m_cancelRequested && m_view.AskYesNo(kDateTimeCaption, kAcrossMidnightQuestion, MessageIcon::Warning);
    if (m_cancelRequested) {
        Leave();
    } else if (anyway) {
        m_machine.AllowAcrossMidnight(true);
        Begin(PageState::Setting, &CDateTimeStateMachine::StartSetPass);
    } else {
        // Nothing was tapped: the sheet stays, showing both clocks, for a later try.
        m_setRequested = m_closeAfterSet = false;
        m_model.StatusText(ErrorText(kErrClockAcrossMidnight));
        Begin(PageState::Reading, &CDateTimeStateMachine::StartRead);
    }
}

void CDateTimeJob::OnCompletion(Result r) {
    if (r != kOk) {
        if (m_state == PageState::Leaving) {
            // Not even the menu could be left: nothing more to try.
            m_state = PageState::Idle;
            m_view.CloseSheet(false);
            return;
        }
        if (r == kErrClockAcrossMidnight && !m_cancelRequested) {
            // Nothing was tapped. The question waits for the answer, so it is asked from the
            // event loop, not from inside this radio callback.
            m_state = PageState::Asking;
            m_model.Pump().Post(this, kMsgAskAcrossMidnight);
            return;
        }
        const std::string text = ErrorText(r);
        m_model.StatusText(text);
        m_view.ShowMessage(kDateTimeCaption, text, MessageIcon::Error);
        // The radio may still be in its time menu: leave it before the sheet closes.
        m_failed = true;
        Leave();
        return;
    }

    ShowComputerTime();
    if (m_cancelRequested && m_state != PageState::Leaving) {
        Leave();
        return;
    }
    switch (m_state) {
        case PageState::Reading:
        case PageState::ReadingAgain:
            if (m_setRequested) {
                Begin(PageState::Setting, &CDateTimeStateMachine::StartSetPass);
            } else {
                Begin(PageState::Reading, &CDateTimeStateMachine::StartRead);
            }
            break;
        case PageState::Setting:
            if (m_machine.RadioTime() == m_computerTime) {
                m_machine.AllowAcrossMidnight(false);
                m_model.StatusText(kClockSetText);
                m_clockSet = true;
                ShowDifference();
                if (m_closeAfterSet) {
                    Leave();
                } else {
                    m_setRequested = false;
                    Begin(PageState::ReadingAgain, &CDateTimeStateMachine::StartRead);
                }
            } else if (++m_passes >= kMaxSetPasses) {
                const std::string text = ErrorText(kErrClockNotFollowing);
                m_model.StatusText(text);
                m_view.ShowMessage(kDateTimeCaption, text, MessageIcon::Error);
                m_failed = true;
                Leave();
            } else {
                Begin(PageState::Setting, &CDateTimeStateMachine::StartSetPass);
            }
            break;
        case PageState::Leaving:
            m_state = PageState::Idle;
            m_view.CloseSheet(!m_failed);
            break;
        case PageState::Idle:
        case PageState::Asking:
            break;
    }
}

}  // namespace rm7
