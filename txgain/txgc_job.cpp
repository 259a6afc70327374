#include "txgain/txgc_job.h"

#include "link/contact.h"
#include "platform/format.h"

namespace rm7 {

CTXGCJob::CTXGCJob(CRadioSession& session, ITXGCView& view, AutoBackupSettings backup)
    : m_session(session),
      m_view(view),
      m_machine(session),
      m_run(session, m_machine, [this](Result r) { OnCompletion(r); }),
      m_backup(session, std::move(backup)) {
    m_machine.SetLogTarget(this);
}

CTXGCJob::~CTXGCJob() {
    if (!m_machine.IsIdle() && m_machine.transmitting) {
        // Going away mid-run (the program ends): no restore can run now, but the carrier must stop.
        m_session.SendText("RX;");
    }
    Close();
    m_machine.SetLogTarget(nullptr);
}

void CTXGCJob::Open() {
    m_open = true;
    m_run.Claim();
}

void CTXGCJob::Close() {
    if (!m_open) {
        return;
    }
    m_open = false;
    m_backup.Release();
    m_backingUp = false;
    m_run.Release();
}

CTXGCJob::Buttons CTXGCJob::ButtonsFor(Page page) {
    switch (page) {
        case Page::Welcome:
            return {false, true, false};
        case Page::DummyLoad:
        case Page::Calibrate:
            return {true, true, false};
        case Page::Completion:
            return {true, false, true};
    }
    return {false, false, false};
}

bool CTXGCJob::Available(const CModel& model) {
    return model.firmwareStatus.Get() == kFirmwareRunning && model.IsExpectedDevice();
}

bool CTXGCJob::Calibrate() {
    if (m_backingUp || !m_machine.IsIdle()) {
        return false;  // the running run is left alone
    }
    m_cancelPending = false;
    m_view.SetCalibrateEnabled(false);
    m_view.SetWizardButtons(false, false, false);
    if (m_busy++ == 0) {
        m_view.SetBusyCursor(true);
    }
    m_startTick = m_session.Pump().TickCount();
    for (const std::string& line : m_session.Model().VersionLines()) {
        m_view.AppendLog(line);
    }
    m_view.AppendLog(m_session.Model().McuVersionText());
    if (!m_open) {
        Open();
    }
    // The transmitter is not keyed before the radio's configuration is saved.
    m_backingUp = true;
    m_backup.Run(BackupReason::kTxGain, [this](const BackupOutcome& outcome) { OnBackup(outcome); });
    return true;
}

void CTXGCJob::OnBackup(const BackupOutcome& outcome) {
    m_backingUp = false;
    m_view.AppendLog(outcome.Text());
    if (!outcome.MayGoOn() && (m_cancelPending || outcome.code == kErrorCancelled ||
                               !m_view.AskYesNo(kBackupFailedCaption, BackupFailedQuestion(outcome)))) {
        m_view.AppendLog(kJobNotStartedText);
        EndBusy();
        if (m_cancelPending) {
            m_view.CloseWizard();
        }
        return;
    }
    if (m_cancelPending) {
        // Cancelled while the backup was written: the transmitter is never keyed.
        m_view.AppendLog(kJobNotStartedText);
        EndBusy();
        m_view.CloseWizard();
        return;
    }
    m_startTick = m_session.Pump().TickCount();
    m_run.Start([this] { return m_machine.StartCalibration(0); });
}

bool CTXGCJob::CanLeaveCalibratePage() const {
    return !m_backingUp && m_session.Contact().IsIdle() && m_machine.IsIdle();
}

bool CTXGCJob::QueryCancel() {
    m_cancelPending = true;
    if (m_backingUp) {
        m_backup.Stop();  // its outcome closes the wizard; nothing is keyed
        return false;
    }
    const IStateMachine* active = m_session.ActiveMachine();
    if (m_session.Contact().IsIdle() && (active == nullptr || active->IsIdle())) {
        return true;
    }
    if (!m_machine.IsIdle()) {
        m_machine.Cancel();
    }
    return false;
}

std::string CTXGCJob::CompletionText() const {
    return m_machine.SummaryText().empty() ? std::string(kNoCalibrationText) : m_machine.SummaryText();
}

LResult CTXGCJob::OnMessage(std::uint32_t code, WParam, LParam lParam) {
    if (code == kMsgLogLine && lParam != 0) {
        m_view.AppendLog(*reinterpret_cast<const std::string*>(lParam));
    }
    return 0;
}

void CTXGCJob::OnCompletion(Result r) {
    (void)r;
    const std::uint32_t elapsed = (m_session.Pump().TickCount() - m_startTick + 500) / 1000;
    m_view.AppendLog(StrFormat(kElapsedTimeFormat, elapsed));
    EndBusy();
    if (m_cancelPending) {
        m_view.CloseWizard();
    }
}

void CTXGCJob::EndBusy() {
    if (m_busy > 0 && --m_busy == 0) {
        m_view.SetBusyCursor(false);
    }
    m_view.SetWizardButtons(true, true, false);
    m_view.SetCalibrateEnabled(true);
    m_view.ShowClickNext(true);
}

}  // namespace rm7
