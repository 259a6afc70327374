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

CDateTimeJob::CDateTimeJob(CRadioSession& session, IJobView& view, IDateTimeView* fields,
                           CDateTimeStateMachine::WallClock clock)
    : m_model(session.Model()),
      m_fields(fields),
      m_machine(session, std::move(clock)),
      m_steps(view),
      m_shell(session, m_machine, m_steps, {"clock", "Setting the clock", std::nullopt, kClockSetCancelledText, true}),
      m_self(std::make_shared<CDateTimeJob*>(this)) {}

CDateTimeJob::~CDateTimeJob() {
    *m_self = nullptr;
    Hide();
    m_shell.Release();
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
    m_setRequested = m_closeAfterSet = m_cancelRequested = m_once = false;
    m_lastSet.clear();
    ShowComputerTime();
    if (m_fields != nullptr) {
        m_fields->SetApplyEnabled(true);
    }
    m_shell.Claim();
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
    m_shell.Release();
    m_state = PageState::Idle;
    m_busyHeld = false;
    if (CSettingsStore* settings = m_model.Settings()) {
        std::uint32_t before = 0;
        const bool stored = settings->ReadDword("", kDateTimeUtcSetting, before) == kOk;
        m_machine.utc.Save(*settings);
        if (!stored || before != static_cast<std::uint32_t>(m_machine.utc.Get())) {
            settings->Save();
        }
    }
}

void CDateTimeJob::ReadOnce(bool utc) {
    m_once = true;
    m_setRequested = m_cancelRequested = false;
    m_machine.utc.Set(utc ? 1 : 0);
    Begin(PageState::Reading, &CDateTimeStateMachine::StartRead);
}

void CDateTimeJob::SetOnce(bool utc, bool acrossMidnight) {
    m_lastSet.clear();
    m_once = true;
    m_cancelRequested = false;
    m_machine.utc.Set(utc ? 1 : 0);
    m_machine.AllowAcrossMidnight(acrossMidnight);
    m_passes = 0;
    m_setRequested = m_closeAfterSet = true;
    HoldBusy(true);
    Begin(PageState::Reading, &CDateTimeStateMachine::StartRead);
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
    HoldBusy(true);
    return true;
}

bool CDateTimeJob::QueryCancel() {
    m_cancelRequested = true;
    return m_state != PageState::Idle;
}

void CDateTimeJob::HoldBusy(bool hold) {
    // The reads are quiet steps; what the user asked for (a set) holds the busy cursor.
    if (hold != m_busyHeld) {
        m_busyHeld = hold;
        hold ? m_shell.EnterBusy() : m_shell.LeaveBusy();
    }
}

void CDateTimeJob::ShowComputerTime() {
    m_computerTime = m_machine.ComputerTime();
    if (m_fields != nullptr) {
        m_fields->ShowComputerTime(TimeOfDayText(m_computerTime));
    }
    ShowDifference();
}

void CDateTimeJob::ShowDifference() {
    if (!m_radioTimeRead || m_fields == nullptr) {
        return;
    }
    // "Clock set" stays until a reading of the radio's clock says otherwise.
    m_fields->ShowDifference(m_clockSet ? kClockSetText
                                        : ClockDifferenceText(ClockDifference(m_machine.RadioTime(), m_computerTime)));
}

std::string CDateTimeJob::SetText() const {
    return StrFormat("Clock set to %s %s", TimeOfDayText(m_computerTime).c_str(),
                     m_machine.utc.Get() != 0 ? "UTC" : "local time");
}

void CDateTimeJob::Begin(PageState state, bool (CDateTimeStateMachine::*start)()) {
    m_state = state;
    // Each step's result goes to OnStep; only leaving the menu ends the job.
    m_steps.HoldNextDone(nullptr);
    if (state != PageState::Leaving) {
        m_steps.HoldNextDone([] {});
    }
    m_shell.Run([this, start] { return (m_machine.*start)(); },
                [this, state](Result r) {
                    if (state == PageState::Leaving && r == kErrorCancelled) {
                        // A signal while the menu is being left: it is left all the same.
                        m_steps.HoldNextDone([this] { Begin(PageState::Leaving, &CDateTimeStateMachine::StartExit); });
                        return JobOutcome::Done(m_shell.GetTexts().step);
                    }
                    if (state == PageState::Leaving) {
                        m_state = PageState::Idle;
                        HoldBusy(false);
                        if (m_fields != nullptr) {
                            m_fields->SetApplyEnabled(false);
                        }
                        JobOutcome o = std::move(m_final);
                        // rm7util names the command it ran.
                        if (m_once) {
                            o.job = m_setRequested ? "clock set" : "clock get";
                        }
                        if (r != kOk && o.result == JobResult::kDone) {
                            // The menu could not be left: the radio waits in it.
                            o = JobOutcome::Failed(kClockSetFailedText, r, RadioState::kUnknown);
                            o.next = kClockReadAgainText;
                        }
                        return o;
                    }
                    // Told to OnStep once the shell has ended the step (a step may start the next).
                    m_steps.HoldNextDone([this, r] { OnStep(r); });
                    return JobOutcome::Done(m_shell.GetTexts().step);
                });
}

void CDateTimeJob::Leave(JobOutcome outcome) {
    m_final = std::move(outcome);
    Begin(PageState::Leaving, &CDateTimeStateMachine::StartExit);
}

void CDateTimeJob::Fail(Result r) {
    // The radio may still be in its time menu: it is left before the job ends.
    const bool setting = m_setRequested || !m_lastSet.empty();
    JobOutcome o = JobOutcome::Failed(setting ? kClockSetFailedText : kClockReadFailedText, r,
                                      setting ? RadioState::kRunning : RadioState::kUnchanged);
    if (setting && r != kErrClockAcrossMidnight) {
        o.next = kClockReadAgainText;
    }
    Leave(std::move(o));
}

LResult CDateTimeJob::OnMessage(std::uint32_t code, WParam, LParam) {
    if (code == kMsgRadioTime) {
        m_radioTimeRead = true;
        m_clockSet = m_clockSet && m_machine.RadioTime() == m_machine.ComputerTime();
        if (m_fields != nullptr) {
            m_fields->ShowRadioTime(TimeOfDayText(m_machine.RadioTime()));
        }
        ShowDifference();
    } else if (code == kMsgDateTimeUtc && m_fields != nullptr) {
        m_fields->ShowUtc(m_machine.utc.Get() != 0);
    } else if (code == kMsgAskAcrossMidnight) {
        AskAcrossMidnight();
    }
    return 0;
}

void CDateTimeJob::AskAcrossMidnight() {
    if (m_state != PageState::Asking) {
        return;
    }
    if (m_cancelRequested) {
        Leave(JobOutcome::Done(kClockUnchangedText));
        return;
    }
    const std::weak_ptr<CDateTimeJob*> self = m_self;
    m_shell.View().Ask({JobQuestion::Kind::kOther, kDateTimeCaption, kAcrossMidnightQuestion, MessageIcon::Warning,
                        m_shell.GetTexts().name},
                       [self](bool anyway) {
                           const auto job = self.lock();
                           if (!job || *job == nullptr || (*job)->m_state != PageState::Asking) {
                               return;
                           }
                           CDateTimeJob& me = **job;
                           if (me.m_cancelRequested) {
                               me.Leave(JobOutcome::Done(kClockUnchangedText));
                           } else if (anyway) {
                               me.m_machine.AllowAcrossMidnight(true);
                               me.Begin(PageState::Setting, &CDateTimeStateMachine::StartSetPass);
                           } else {
                               // Nothing was tapped: the sheet stays, showing both clocks, for a later try.
                               me.m_setRequested = me.m_closeAfterSet = false;
                               me.HoldBusy(false);
                               me.m_model.StatusText(ErrorText(kErrClockAcrossMidnight));
                               me.Begin(PageState::Reading, &CDateTimeStateMachine::StartRead);
                           }
                       });
}

void CDateTimeJob::OnStep(Result r) {
    if (r != kOk) {
        if (r == kErrClockAcrossMidnight && !m_cancelRequested && !m_once) {
            // Nothing was tapped. The question is asked from the event loop, not from inside
            // this radio callback.
            m_state = PageState::Asking;
            m_model.Pump().Post(this, kMsgAskAcrossMidnight);
            return;
        }
        if (r == kErrorCancelled) {
            // Stopped (rm7util's signal): the menu is left all the same.
            JobOutcome o = JobOutcome::Cancelled(m_setRequested ? kClockSetCancelledText : kClockReadCancelledText,
                                                 m_setRequested ? RadioState::kRunning : RadioState::kUnchanged);
            if (m_setRequested) {
                o.next = kClockReadAgainText;
            }
            Leave(std::move(o));
            return;
        }
        Fail(r);
        return;
    }

    ShowComputerTime();
    if (m_cancelRequested) {
        if (m_setRequested) {
            JobOutcome o = JobOutcome::Cancelled(kClockSetCancelledText, RadioState::kRunning);
            o.next = kClockReadAgainText;
            Leave(std::move(o));
        } else {
            Leave(m_lastSet.empty() ? JobOutcome::Done(kClockUnchangedText) : JobOutcome::Done(m_lastSet));
        }
        return;
    }
    switch (m_state) {
        case PageState::Reading:
            if (m_once && !m_setRequested) {
                Leave(JobOutcome::Done(kClockReadText));
            } else if (m_setRequested) {
                if (m_once && m_machine.AcrossMidnightAllowed() &&
                    CrossesMidnight(m_machine.RadioTime(), m_computerTime)) {
                    m_shell.Log(kClockDateText);
                }
                Begin(PageState::Setting, &CDateTimeStateMachine::StartSetPass);
            } else {
                Begin(PageState::Reading, &CDateTimeStateMachine::StartRead);
            }
            break;
        case PageState::ReadingAgain:
            if (m_once) {
                Leave(JobOutcome::Done(m_lastSet, RadioState::kRunning));
            } else if (m_setRequested) {
                Begin(PageState::Setting, &CDateTimeStateMachine::StartSetPass);
            } else {
                Begin(PageState::Reading, &CDateTimeStateMachine::StartRead);
            }
            break;
        case PageState::Setting:
            if (m_machine.RadioTime() == m_computerTime) {
                m_machine.AllowAcrossMidnight(false);
                m_lastSet = SetText();
                m_clockSet = true;
                ShowDifference();
                if (m_once) {
                    // A last read, for what the radio shows now.
                    Begin(PageState::ReadingAgain, &CDateTimeStateMachine::StartRead);
                } else if (m_closeAfterSet) {
                    Leave(JobOutcome::Done(m_lastSet, RadioState::kRunning));
                } else {
                    m_setRequested = false;
                    HoldBusy(false);
                    m_shell.Log(m_lastSet);
                    m_model.StatusText(m_lastSet);
                    Begin(PageState::ReadingAgain, &CDateTimeStateMachine::StartRead);
                }
            } else if (++m_passes >= kMaxSetPasses) {
                Fail(kErrClockNotFollowing);
            } else {
                Begin(PageState::Setting, &CDateTimeStateMachine::StartSetPass);
            }
            break;
        case PageState::Leaving:
        case PageState::Idle:
        case PageState::Asking:
            break;
    }
}

}  // namespace rm7
