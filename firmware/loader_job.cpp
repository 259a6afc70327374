#include "firmware/loader_job.h"

#include <cctype>

#include "firmware/file_version.h"
#include "model/firmware_version.h"
#include "platform/result_codes.h"
#include "platform/version.h"

namespace rm7 {

namespace {

std::string Sentence(std::string text) {
    if (!text.empty()) {
        text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    }
    return text + ".";
}

}  // namespace

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
                             std::vector<std::string>& lines) {
    const char* name = LoaderPartName(part);
    if (radioVersion == FileVersion(file)) {
        lines.push_back(StrFormat("%s firmware version verified", name));
        return kOk;
    }
    lines.push_back(StrFormat("Sent %s firmware file %s\r\n%s responded with version %s", name, file.string().c_str(),
                              kModelName, VersionText(radioVersion).c_str()));
    lines.push_back(StrFormat("Firmware version verify failed. Reload %s firmware.", name));
    return kErrVersionVerify;
}

LoaderResult FinishLoad(const LoaderFinish& finish) {
    LoaderResult out;
    out.result = finish.result;
    if (finish.totalRetries != 0) {
        out.lines.push_back(StrFormat("Total number of retries was %u", finish.totalRetries));
        out.lines.push_back(StrFormat("Highest number of retries for any block was %u", finish.highestRetries));
    }
    if (!Failed(out.result)) {
        out.result = VerifyFirmwareVersion(finish.part, finish.radioVersion, finish.file, out.lines);
    }
    return out;
}

LoaderRadio DescribeRadio(const LoaderFound& f) {
    LoaderRadio radio;
    const bool mcu = f.part == LoaderPart::Mcu;
    const std::string again = f.sendAgain;
    if (!f.found) {
        radio.state = RadioState::kUnchanged;  // the load ended before it reached the radio
        return radio;
    }
    if (*f.found != kOk) {
        radio.state = RadioState::kNotAnswering;
        radio.text = mcu ? "The radio does not answer: its boot loader may be waiting in the middle of the load."
                         : "The radio does not answer.";
        if (f.result == kErrPortGone || *f.found == kErrPortGone) {
            // The MCU's boot loader is found again, even in the middle of its download; a DSP load
            // leaves the radio's firmware waiting for the rest until it is restarted.
            radio.next =
                mcu ? "Plug the cable back in and " + again + ": the radio's boot loader is found again."
                    : "Plug the cable back in, turn the radio off and on, and " + again + ": the DSP load starts over.";
        } else if (IsPortLost(f.result)) {
            radio.next = mcu ? "When the radio's port on the network can be reached again, " + again +
                                   ": the radio's boot loader waits for the next send."
                             : "When the radio's port on the network can be reached again, turn the radio off and "
                               "on and " +
                                   again + ": the DSP load starts over.";
        } else {
            radio.next = mcu ? Sentence(again + ": the load finds the radio's boot loader")
                             : Sentence("turn the radio off and on, then " + again);
        }
        return radio;
    }
    if (!mcu) {
        // Stopped between chunks, the radio's firmware waits for the rest and answers a poll as a
        // boot loader would; only a restart ends that.
        if (f.status == kFirmwareRunning) {
            radio.state = RadioState::kRunning;
            radio.text = StrFormat("The radio runs MCU %s; its DSP firmware may be incomplete.",
                                   VersionText(f.mcuVersion).c_str());
        } else {
            radio.state = RadioState::kBootLoader;
            radio.text = "The radio waits for the rest of its DSP firmware.";
        }
        radio.next = Sentence("turn the radio off and on, then " + again);
        return radio;
    }
    if (f.status == kFirmwareBootLoader) {
        radio.state = RadioState::kBootLoader;
        radio.text = "The radio waits in its boot loader.";
        radio.next = Sentence(again);
        return radio;
    }
    radio.state = RadioState::kRunning;
    if (f.mcuVersion == f.fileVersion) {
        // Stopped in the reset wait: the new firmware runs.
        radio.text = StrFormat("The radio runs MCU %s, the file's version.", VersionText(f.mcuVersion).c_str());
        return radio;
    }
    radio.text = StrFormat("The radio runs MCU %s, not the file's %s.", VersionText(f.mcuVersion).c_str(),
                           VersionText(f.fileVersion).c_str());
    radio.next = Sentence(again);
    return radio;
}

namespace {

CJobShell::Texts LoaderTexts(LoaderPart part, const std::string& name) {
    return {name, StrFormat("%s firmware", LoaderPartName(part)),
            JobQuestion{JobQuestion::Kind::kStop, kCriticalOperationCaption, LoaderStopQuestion(part),
                        MessageIcon::Warning},
            StrFormat("%s firmware load was cancelled", LoaderPartName(part))};
}

}  // namespace

CLoaderJob::CLoaderJob(CRadioSession& session, IJobView& view, LoaderPart part, std::filesystem::path file,
                       LoaderJobOptions options)
    : m_session(session),
      m_model(session.Model()),
      m_part(part),
      m_file(std::move(file)),
      m_options(std::move(options)),
      m_mcu(part == LoaderPart::Mcu ? std::make_unique<CMcuLoaderStateMachine>(session, m_file) : nullptr),
      m_dsp(part == LoaderPart::Dsp ? std::make_unique<CDspLoaderStateMachine>(session, m_file) : nullptr),
      m_shell(session, m_mcu ? static_cast<IStateMachine&>(*m_mcu) : static_cast<IStateMachine&>(*m_dsp), view,
              LoaderTexts(part, m_options.name)) {
    if (m_options.backup) {
        m_backup = std::make_unique<CJobBackup>(session, BackupReason::kFirmware, *m_options.backup);
        m_shell.SetBackup(m_backup.get());
    }
    // A load that reached the radio and did not end well: what does the radio do now? A failure
    // after the last byte has been looked for already, by the contact that followed the reset;
    // a port that went away has nobody to ask until the cable or the connection is back.
    m_shell.SetFindRadio(
        [this](Result r) {
            const Result own = m_mcu ? m_mcu->GetResult() : m_dsp->GetResult();
            return r != kOk && Failed(own) && !ImageRefused() && !IsPortLost(r);
        },
        m_options.findRadioMs);
}

CLoaderJob::~CLoaderJob() {
    m_shell.Release();
    m_model.Pump().Forget(this);
}

IStateMachine& CLoaderJob::Machine() {
    return m_mcu ? static_cast<IStateMachine&>(*m_mcu) : static_cast<IStateMachine&>(*m_dsp);
}

bool CLoaderJob::MachineIdle() const {
    return m_mcu ? m_mcu->IsIdle() : m_dsp->IsIdle();
}

bool CLoaderJob::ImageRefused() const {
    return m_mcu ? m_mcu->ImageRefused() : m_dsp->ImageRefused();
}

std::uint32_t CLoaderJob::TotalRetries() const {
    return m_mcu ? m_mcu->TotalRetries() : m_dsp->TotalRetries();
}

std::uint32_t CLoaderJob::HighestRetries() const {
    return m_mcu ? m_mcu->HighestRetries() : m_dsp->HighestRetries();
}

double CLoaderJob::Rate() const {
    return m_mcu ? m_mcu->Rate() : m_dsp->Rate();
}

void CLoaderJob::Start() {
    // While another conversation runs, the timer ticks go to it and this load would wait for ever:
    // the contact machine, in particular, is routed first.
    if (!m_session.AllIdle()) {
        m_shell.Finish(
            JobOutcome::Failed(StrFormat("Failed to send %s firmware", LoaderPartName(m_part)), kErrBusyStateMachine));
        return;
    }
    // The outcome is the machine's failure, or the result of the contact that follows the load; a
    // refused file ends the run through its own notice.
    m_shell.Run([this] { return StartMachine(); }, [this](Result r) { return Finish(r); });
}

bool CLoaderJob::StartMachine() {
    IProgressBar* bar = &m_shell.Progress();
    return m_mcu ? m_mcu->Start(this, bar) : m_dsp->Start(this, bar);
}

LResult CLoaderJob::OnMessage(std::uint32_t code, WParam wParam, LParam lParam) {
    if (code == kMsgLogLine) {
        const std::string& line = *reinterpret_cast<const std::string*>(lParam);
        // The machine's own lines also go to the status line; its trace lines only to the log.
        if (wParam != kLogLineTrace) {
            m_model.StatusText(line);
        }
        m_shell.Log(line);
    }
    return 0;
}

JobOutcome CLoaderJob::Finish(Result r) {
    // The radio's events go back to the pages as soon as the load has ended.
    m_shell.Runner().Release();
    const char* part = LoaderPartName(m_part);
    LoaderFinish finish;
    finish.part = m_part;
    finish.result = r;
    finish.totalRetries = TotalRetries();
    finish.highestRetries = HighestRetries();
    finish.radioVersion = m_model.firmwareVersions.Get(m_part == LoaderPart::Mcu ? 0 : 1);
    finish.file = m_file;
    const LoaderResult result = FinishLoad(finish);
    for (const std::string& line : result.lines) {
        m_shell.Log(line);
    }
    if (result.result == kOk) {
        // Said in the versions the contact after the load read.
        JobOutcome done = JobOutcome::Done(
            StrFormat("%s %s loaded", part, m_model.FirmwareVersionText(m_part == LoaderPart::Mcu ? 0 : 1).c_str()),
            RadioState::kRunning);
        done.radioText = StrFormat("The radio runs MCU %s and DSP %s.", m_model.FirmwareVersionText(0).c_str(),
                                   m_model.FirmwareVersionText(1).c_str());
        done.file = m_file;
        return done;
    }
    if (result.result == kErrVersionVerify) {
        // The load ran and the radio answers, with another version than the file's name says.
        JobOutcome wrong =
            JobOutcome::Failed(StrFormat("Failed to send %s firmware", part), result.result, RadioState::kRunning);
        wrong.radioText = StrFormat("The radio runs MCU %s and DSP %s.", m_model.FirmwareVersionText(0).c_str(),
                                    m_model.FirmwareVersionText(1).c_str());
        wrong.next = Sentence(m_options.sendAgain + " with the file of the version its name says");
        wrong.file = m_file;
        return wrong;
    }
    LoaderFound found;
    found.part = m_part;
    found.result = result.result;
    found.found = m_shell.FoundRadio();
    if (!found.found && !ImageRefused() && result.result != kErrBusyStateMachine) {
        // The load ran to its end and the contact after the reset has looked.
        found.found = r;
    }
    found.status = static_cast<FirmwareStatusEnum>(m_model.firmwareStatus.Get());
    found.mcuVersion = m_model.firmwareVersions.Get(0);
    found.fileVersion = FileVersion(m_file);
    found.sendAgain = m_options.sendAgain;
    const LoaderRadio radio = DescribeRadio(found);
    JobOutcome ended =
        result.result == kErrorCancelled
            ? JobOutcome::Cancelled(StrFormat("%s firmware load was cancelled", part), radio.state)
            : JobOutcome::Failed(StrFormat("Failed to send %s firmware", part), result.result, radio.state);
    ended.radioText = radio.text;
    ended.next = radio.next;
    ended.file = m_file;
    return ended;
}

}  // namespace rm7
