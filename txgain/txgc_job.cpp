#include "txgain/txgc_job.h"

#include <vector>

#include "link/contact.h"
#include "platform/error_text.h"
#include "platform/format.h"

namespace rm7 {
namespace {

std::string Joined(const std::vector<std::string>& items, const char* separator) {
    std::string text;
    for (const std::string& item : items) {
        text += (text.empty() ? "" : separator) + item;
    }
    return text;
}

}  // namespace

CTXGCJob::CTXGCJob(CRadioSession& session, IJobView& view, AutoBackupSettings backup)
    : m_session(session),
      m_machine(session),
      m_backup(session, BackupReason::kTxGain, std::move(backup)),
      m_shell(session, m_machine, view, {"calibrate", kCalibrationStepText, std::nullopt, kCalibrationCancelledText}) {
    m_machine.SetLogTarget(this);
    // The transmitter is not keyed before the radio's configuration is saved.
    m_shell.SetBackup(&m_backup);
}

CTXGCJob::~CTXGCJob() {
    if (!m_machine.IsIdle() && m_machine.transmitting) {
        // Going away mid-run (the program ends): no restore can run now, but the carrier must stop.
        m_session.SendText("RX;");
    }
    Close();
    m_shell.Release();
    m_machine.SetLogTarget(nullptr);
}

void CTXGCJob::Open() {
    m_open = true;
    m_shell.Claim();
}

void CTXGCJob::Close() {
    if (!m_open) {
        return;
    }
    m_open = false;
    m_shell.Release();
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
    if (m_shell.Running() || !m_machine.IsIdle()) {
        return false;  // the running run is left alone
    }
    for (const std::string& line : m_session.Model().VersionLines()) {
        m_shell.Log(line);
    }
    m_shell.Log(m_session.Model().McuVersionText());
    m_open = true;
    m_shell.Run([this] { return m_machine.StartCalibration(0); }, [this](Result r) { return Finish(r); });
    return true;
}

bool CTXGCJob::CanLeaveCalibratePage() const {
    return !m_shell.Running() && m_session.Contact().IsIdle() && m_machine.IsIdle();
}

bool CTXGCJob::QueryCancel() {
    if (m_shell.Running()) {
        // A stop goes through the restore; the outcome follows once the radio is put back.
        (void)m_shell.RequestStop();
        return false;
    }
    const IStateMachine* active = m_session.ActiveMachine();
    return m_session.Contact().IsIdle() && (active == nullptr || active->IsIdle());
}

std::string CTXGCJob::CompletionText() const {
    if (m_machine.SummaryText().empty() && !m_shell.Outcome()) {
        return kNoCalibrationText;
    }
    std::string text = m_machine.SummaryText();
    if (m_shell.Outcome()) {
        text += m_shell.Outcome()->Text() + "\n";
    }
    return text;
}

LResult CTXGCJob::OnMessage(std::uint32_t code, WParam, LParam lParam) {
    if (code == kMsgLogLine && lParam != 0) {
        m_shell.Log(*reinterpret_cast<const std::string*>(lParam));
    }
    return 0;
}

JobOutcome CTXGCJob::Finish(Result r) {
    std::vector<std::string> calibrated;
    std::vector<std::string> notCalibrated;
    for (const BandOutcome& band : m_machine.Bands()) {
        if (band.skipped) {
            notCalibrated.push_back(NotCalibratedText(band));
        } else if (band.steps >= 2) {
            calibrated.push_back(BandName(band.index));
        }
    }
    std::vector<std::string> told;
    told.push_back(calibrated.empty() ? std::string("no band was calibrated")
                                      : StrFormat("calibrated on %zu band%s (%s)", calibrated.size(),
                                                  calibrated.size() == 1 ? "" : "s", Joined(calibrated, ", ").c_str()));
    told.insert(told.end(), notCalibrated.begin(), notCalibrated.end());
    const bool mayTransmit = m_machine.MayStillTransmit();
    const bool putBack = m_machine.NotRestored().empty() && !mayTransmit;
    if (putBack) {
        told.emplace_back(kSettingsPutBackText);
    }
    // What the user must still do by hand: the settings the radio did not confirm, the carrier.
    std::vector<std::string> byHand;
    for (const RestoreEntry& entry : m_machine.NotRestored()) {
        byHand.push_back(NotRestoredText(entry));
    }
    if (mayTransmit) {
        byHand.emplace_back(kMayStillTransmitText);
    }
    // The closing "TQ;" said receive: the radio answered after the run.
    const RadioState radio =
        mayTransmit ? RadioState::kUnknown : (m_machine.receiveConfirmed ? RadioState::kRunning : RadioState::kUnknown);
    const std::string details = Joined(told, "; ");

    JobOutcome outcome;
    if (r == kOk) {
        outcome = JobOutcome::Done(std::string(kCalibrationSucceededText) + ": " + details, radio);
    } else if (r == kErrorCancelled) {
        outcome = JobOutcome::Cancelled(kCalibrationCancelledText, radio);
        outcome.why = details;
    } else {
        outcome = JobOutcome::Failed(kCalibrationFailedText, r, radio);
        outcome.why += "; " + details;
    }
    outcome.next = Joined(byHand, "; ");
    return outcome;
}

}  // namespace rm7
