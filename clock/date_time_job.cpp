#include "clock/date_time_job.h"

#include "platform/error_text.h"
#include "platform/format.h"
#include "platform/settings.h"

namespace rm7 {

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
