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
    m_machine.SetProgressListener([this] { TellProgress(); });
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
    m_machine.SetProgressListener(nullptr);
    m_session.Pump().KillTimer(this, kTickTimer);
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
    m_runStart = m_session.Pump().TickCount();
    m_firstStepStart.reset();
    m_stepsBegun = 0;
    m_stopping = false;
    m_told.reset();
    m_session.Pump().SetTimer(this, kTickTimer, 1000);
    m_machineStarted = false;
    m_shell.Run(
        [this] {
            m_machineStarted = true;  // the backup is behind
            return m_machine.StartCalibration(0);
        },
        [this](Result r) { return Finish(r); });
    TellProgress();
    return true;
}

TXGCProgress CTXGCJob::Progress() const {
    using Phase = TXGCProgress::Phase;
    TXGCProgress p;
    if (!m_shell.Running()) {
        p.phase = m_shell.Outcome() ? Phase::kEnded : Phase::kIdle;
        if (p.phase == Phase::kEnded) {
            p.position = m_stepsBegun;
        }
        return p;
    }
    const std::uint32_t now = m_session.Pump().TickCount();
    p.elapsedSeconds = (now - m_runStart + 500) / 1000;
    p.transmitting = m_machine.transmitting;
    p.stopping = m_stopping;
    if (!m_machineStarted) {
        p.phase = Phase::kBackup;
    } else if (m_machine.IsIdle() || m_machine.BandIndex() >= CTXGCStateMachine::kBands) {
        p.phase = Phase::kRestoring;
        p.position = kTXGCSteps;
    } else if (m_machine.Bands().empty()) {
        p.phase = Phase::kPreparing;
    } else {
        const BandOutcome& band = m_machine.Bands().back();
        p.phase = Phase::kBand;
        p.band = band.index + 1;
        p.kHz = band.kHz;
        p.watts = m_machine.stepWatts;
        p.position = 2 * band.index + (p.watts == 6 ? 2 : p.watts == 4 ? 1 : 0);
    }
    if (m_firstStepStart && p.position > 0 && p.position < kTXGCSteps) {
        p.secondsLeft = EstimateSecondsLeft(m_stepStart - *m_firstStepStart, m_stepsBegun - 1, now - m_stepStart);
    }
    return p;
}

std::vector<TXGCBandRow> CTXGCJob::BandRows() const {
    return rm7::BandRows(m_machine.Bands(), [this](std::uint32_t band) { return m_machine.BandKHz(band); });
}

void CTXGCJob::TellProgress() {
    // A new step begun: the pace of those before it is known.
    const TXGCProgress seen = Progress();
    if (seen.phase == TXGCProgress::Phase::kBand && seen.position > m_stepsBegun) {
        const std::uint32_t now = m_session.Pump().TickCount();
        m_stepsBegun = seen.position;
        m_stepStart = now;
        if (!m_firstStepStart) {
            m_firstStepStart = now;
        }
    }
    const TXGCProgress progress = Progress();
    if (m_progressListener && progress != m_told) {
        m_told = progress;
        m_progressListener(progress);
    }
}

bool CTXGCJob::CanLeaveCalibratePage() const {
    return !m_shell.Running() && m_session.Contact().IsIdle() && m_machine.IsIdle();
}

bool CTXGCJob::QueryCancel() {
    if (m_shell.Running()) {
        // A stop goes through the restore; the outcome follows once the radio is put back.
        m_stopping = m_shell.RequestStop() == StopRequest::kStopping || m_stopping;
        TellProgress();
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

LResult CTXGCJob::OnMessage(std::uint32_t code, WParam wParam, LParam lParam) {
    if (code == kMsgLogLine && lParam != 0) {
        m_shell.Log(*reinterpret_cast<const std::string*>(lParam));
    } else if (code == kMsgTimer && wParam == kTickTimer) {
        TellProgress();
    }
    return 0;
}

JobOutcome CTXGCJob::Finish(Result r) {
    m_session.Pump().KillTimer(this, kTickTimer);
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
