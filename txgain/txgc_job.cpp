#include "txgain/txgc_job.h"

#include "link/contact.h"
#include "platform/format.h"
#include "platform/os_version.h"
#include "platform/program_version.h"

namespace rm7 {

CTXGCJob::CTXGCJob(CRadioSession& session, ITXGCView& view)
    : m_session(session),
      m_view(view),
      m_machine(session),
      m_run(session, m_machine, [this](Result r) { OnCompletion(r); }) {
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

bool CTXGCJob::Calibrate() {
    if (!m_machine.IsIdle()) {
        return false;  // the running run is left alone
    }
    m_cancelPending = false;
    m_view.SetCalibrateEnabled(false);
    m_view.SetWizardButtons(false, false, false);
    if (m_busy++ == 0) {
        m_view.SetBusyCursor(true);
    }
    m_startTick = m_session.Pump().TickCount();
    const OsVersionInfo os = GetOsVersion();
    m_view.AppendLog(ProgramVersionLine());
    m_view.AppendLog(StrFormat("OS Version %u.%u Build %u ", os.major, os.minor, os.build) + os.text);
    m_view.AppendLog(m_session.Model().McuVersionText());
    if (!m_open) {
        Open();
    }
    return m_run.Start([this] { return m_machine.StartCalibration(0); });
}

bool CTXGCJob::CanLeaveCalibratePage() const {
    return m_session.Contact().IsIdle() && m_machine.IsIdle();
}

bool CTXGCJob::QueryCancel() {
    m_cancelPending = true;
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
    if (m_busy > 0 && --m_busy == 0) {
        m_view.SetBusyCursor(false);
    }
    m_view.SetWizardButtons(true, true, false);
    m_view.SetCalibrateEnabled(true);
    m_view.ShowClickNext(true);
    if (m_cancelPending) {
        m_view.CloseWizard();
    }
}

}  // namespace rm7
