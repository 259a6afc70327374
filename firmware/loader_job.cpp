#include "firmware/loader_job.h"

#include "firmware/file_version.h"
#include "model/firmware_version.h"
#include "platform/result_codes.h"
#include "platform/version.h"

namespace rm7 {

const char* LoaderPartName(LoaderPart part) {
    return part == LoaderPart::Mcu ? kMcuPartName : kDspPartName;
}

std::string LoaderStopQuestion(LoaderPart part) {
    return StrFormat("Stop sending %s firmware?\n\n%s", LoaderPartName(part), LoaderStoppedState(part));
}

const char* LoaderStoppedState(LoaderPart part) {
    // The MCU's boot loader takes up the next send; the radio's own firmware waits for the rest of
    // a DSP load until it is restarted.
    return part == LoaderPart::Mcu
               ? "The radio will wait in its boot loader until the next firmware send (Send New Firmware)."
               : "The radio will wait for the rest of its DSP firmware until it is turned off and on; the next "
                 "firmware send then starts the DSP load over.";
}

std::string LoaderTitle() {
    return StrFormat("Sending %s Firmware", kModelName);
}

std::vector<std::string> LoaderInitialLines(const CModel& model) {
    std::vector<std::string> lines = model.VersionLines();
    lines.push_back(model.McuVersionText());
    return lines;
}

Result VerifyFirmwareVersion(LoaderPart part, std::uint16_t radioVersion, const std::filesystem::path& file,
                             std::vector<JobLine>& lines) {
    const char* name = LoaderPartName(part);
    if (radioVersion == FileVersion(file)) {
        lines.push_back(JobLine::Note(StrFormat("%s firmware version verified", name)));
        return kOk;
    }
    lines.push_back(JobLine::Note(StrFormat("Sent %s firmware file %s\r\n%s responded with version %s", name,
                                            file.string().c_str(), kModelName, VersionText(radioVersion).c_str())));
    lines.push_back(JobLine::Note(StrFormat("Firmware version verify failed. Reload %s firmware.", name)));
    return kErrVersionVerify;
}

LoaderOutcome FinishLoad(const LoaderFinish& finish) {
    LoaderOutcome out;
    out.result = finish.result;
    if (finish.totalRetries != 0) {
        out.lines.push_back(JobLine::Note(StrFormat("Total number of retries was %u", finish.totalRetries)));
        out.lines.push_back(
            JobLine::Note(StrFormat("Highest number of retries for any block was %u", finish.highestRetries)));
    }
    if (!Failed(out.result)) {
        out.result = VerifyFirmwareVersion(finish.part, finish.radioVersion, finish.file, out.lines);
    }
    if (!Failed(out.result)) {
        out.lines.push_back(JobLine::Note(StrFormat("%s firmware load is complete", LoaderPartName(finish.part))));
        if (finish.trace) {
            out.lines.push_back(JobLine::Instruction(kLoaderClickClose));
        } else {
            out.closeNow = true;
        }
        out.dialogResult = kLoaderDialogLoaded;
    } else if (out.result == kErrorCancelled) {
        // Not a failure: the window says what was stopped and what the radio does now (rm7util
        // says it in its own words, after finding the radio again).
        out.lines.push_back(
            JobLine::Instruction(StrFormat("%s firmware load was cancelled", LoaderPartName(finish.part))));
        out.lines.push_back(JobLine::Instruction(LoaderStoppedState(finish.part)));
        out.lines.push_back(JobLine::Instruction(kLoaderClickClose));
        out.dialogResult = kLoaderDialogCancelled;
    } else {
        out.lines.push_back(JobLine::Error(out.result));
        if (out.result == kErrPortGone) {
            out.lines.push_back(JobLine::Instruction(finish.part == LoaderPart::Mcu ? kMcuReplugText : kDspReplugText));
        } else if (IsPortLost(out.result)) {
            out.lines.push_back(
                JobLine::Instruction(finish.part == LoaderPart::Mcu ? kMcuReconnectText : kDspReconnectText));
        }
        out.lines.push_back(JobLine::Instruction(kLoaderClickClose));
        out.dialogResult = kLoaderDialogFailed;
    }
    return out;
}

CloseDecision DecideClose(bool running, Result stored) {
    if (running) {
        return {true, kLoaderDialogCancelled};
    }
    return {false, stored == kErrorCancelled ? kLoaderDialogCancelled
                   : Failed(stored)          ? kLoaderDialogFailed
                                             : kLoaderDialogLoaded};
}

CLoaderJob::CLoaderJob(CRadioSession& session, LoaderPart part, std::filesystem::path file)
    : m_session(session), m_model(session.Model()), m_part(part), m_file(std::move(file)) {
    if (part == LoaderPart::Mcu) {
        m_mcu = std::make_unique<CMcuLoaderStateMachine>(session, m_file);
    } else {
        m_dsp = std::make_unique<CDspLoaderStateMachine>(session, m_file);
    }
    m_run = std::make_unique<CJobRun>(session, Machine(), [this](Result r) { Finish(r); });
}

CLoaderJob::~CLoaderJob() {
    Detach();
    m_run.reset();
    m_mcu.reset();
    m_dsp.reset();
    m_model.Pump().Forget(this);
}

IStateMachine& CLoaderJob::Machine() {
    return m_mcu ? static_cast<IStateMachine&>(*m_mcu) : static_cast<IStateMachine&>(*m_dsp);
}

bool CLoaderJob::MachineIdle() const {
    return m_mcu ? m_mcu->IsIdle() : m_dsp->IsIdle();
}

bool CLoaderJob::Cancel() {
    return RequestStop(Machine()) == StopRequest::kStopping;
}

FirmwareStatusEnum CLoaderJob::FirmwareStatusSeen() const {
    return m_mcu ? m_mcu->FirmwareStatus() : m_dsp->FirmwareStatus();
}

std::uint32_t CLoaderJob::TotalRetries() const {
    return m_mcu ? m_mcu->TotalRetries() : m_dsp->TotalRetries();
}

std::uint32_t CLoaderJob::HighestRetries() const {
    return m_mcu ? m_mcu->HighestRetries() : m_dsp->HighestRetries();
}

bool CLoaderJob::Start(IProgressBar* bar) {
    if (m_started) {
        return false;
    }
    m_started = true;
    // While another conversation runs, the timer ticks go to it and this load would wait
    // for ever: the contact machine, in particular, is routed first.
    if (!m_session.AllIdle()) {
        Finish(kErrBusyStateMachine);
        return false;
    }
    // The run's outcome is the machine's failure, or the result of the contact that follows
    // the load; a refused file ends the run through its own notice.
    const bool started = m_run->Start([&] { return m_mcu ? m_mcu->Start(this, bar) : m_dsp->Start(this, bar); });
    if (!started) {
        m_run->Release();
    }
    return started;
}

void CLoaderJob::Detach() {
    m_run->Release();
}

LResult CLoaderJob::OnMessage(std::uint32_t code, WParam wParam, LParam lParam) {
    if (code == kMsgLogLine) {
        if (onLog) {
            onLog(*reinterpret_cast<const std::string*>(lParam),
                  wParam == kLogLineTrace ? LogSource::Trace : LogSource::Machine);
        }
    }
    return 0;
}

void CLoaderJob::Finish(Result result) {
    m_finished = true;
    m_run->Release();
    LoaderFinish finish;
    finish.part = m_part;
    finish.result = result;
    finish.totalRetries = TotalRetries();
    finish.highestRetries = HighestRetries();
    finish.trace = m_model.trace.Get() != 0;
    finish.radioVersion = m_model.firmwareVersions.Get(m_part == LoaderPart::Mcu ? 0 : 1);
    finish.file = m_file;
    const LoaderOutcome outcome = FinishLoad(finish);
    m_result = outcome.result;
    if (onLog) {
        for (const JobLine& line : outcome.lines) {
            onLog(line.text, LogSource::Outcome);
        }
    }
    if (onFinished) {
        onFinished(outcome);
    }
}

}  // namespace rm7
