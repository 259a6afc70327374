#include "config/compare_job.h"

#include "config/config_folder.h"
#include "config/file_refusal.h"

#include "platform/error_text.h"

namespace rm7 {

CConfigCompareJob::CConfigCompareJob(CRadioSession& session, IJobView& view, CSettingsStore* settings,
                                     std::function<std::filesystem::path()> defaultFolder)
    : m_model(session.Model()),
      m_settings(settings),
      m_defaultFolder(std::move(defaultFolder)),
      m_machine(session),
      m_shell(session, m_machine, view, {"config diff", kCompareStepText, std::nullopt, kCompareCancelledText}),
      m_folderSetting(session.Pump(), 0, kConfigurationFolderSetting) {
    LoadFolderSetting(m_folderSetting, m_settings);
    m_machine.SetProgressBar(&m_shell.Progress());
}

CConfigCompareJob::~CConfigCompareJob() {
    End();
    StoreFolderSetting(m_folderSetting, m_settings);
}

bool CConfigCompareJob::Begin(const AskOpenFile& askFile) {
    m_shell.Claim();
    const std::filesystem::path folder = ResolveConfigurationFolder(m_folderSetting, m_defaultFolder);
    const std::optional<std::filesystem::path> chosen = askFile ? askFile(folder) : std::nullopt;
    if (!chosen || chosen->empty()) {
        return false;
    }
    m_file = *chosen;
    // A damaged file is refused before the radio is read. The reader's box has said what it found
    // in the file; a file it could not load is said by the outcome, once, with its path.
    const Result read = ReadConfigurationSide(*chosen, &m_readerNotifier, m_fileSide);
    if (read != kOk) {
        m_shell.Finish(RefusedFileOutcome(kCompareFailedText, m_file, read));
        return true;
    }
    m_folderSetting.Set(chosen->parent_path().string());
    m_shell.Run([this] { return m_machine.StartSave(); }, [this](Result r) { return Finish(r); });
    return true;
}

JobOutcome CConfigCompareJob::Finish(Result r) {
    // A read only: the radio is as it was, whatever happened.
    if (r == kErrorCancelled) {
        return JobOutcome::Cancelled(kCompareCancelledText);
    }
    if (r != kOk) {
        return JobOutcome::Failed(kCompareFailedText, r);
    }
    ConfigurationSide radio;
    radio.image = m_machine.Image();
    if (m_model.serialNumber.Get() != kNoSerialNumber) {
        radio.serialNumber = m_model.serialNumber.Get();
    }
    m_difference = CompareConfigurations(m_fileSide, radio);
    m_text = ConfigurationDifferenceText(m_difference, m_file.string(), kRadioSideName);
    JobOutcome done = JobOutcome::Done(kComparedText);
    done.file = m_file;
    return done;
}

void CConfigCompareJob::End() {
    m_shell.Release();
}

}  // namespace rm7
