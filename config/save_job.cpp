#include "config/save_job.h"

#include "config/config_folder.h"
#include "config/file_classes.h"
#include "platform/settings.h"

namespace rm7 {

CConfigSaveJob::CConfigSaveJob(CRadioSession& session, IJobView& view, CSettingsStore* settings, SavedAtTime savedAt,
                               std::function<std::filesystem::path()> defaultFolder)
    : m_model(session.Model()),
      m_settings(settings),
      m_savedAt(savedAt),
      m_defaultFolder(std::move(defaultFolder)),
      m_machine(session),
      m_shell(session, m_machine, view, {"config save", kSaveStepText, std::nullopt, kSaveCancelledText}),
      m_folderSetting(session.Pump(), 0, kConfigurationFolderSetting) {
    LoadFolderSetting(m_folderSetting, m_settings);
    m_machine.SetProgressBar(&m_shell.Progress());
}

CConfigSaveJob::~CConfigSaveJob() {
    End();
    StoreFolderSetting(m_folderSetting, m_settings);
}

std::string CConfigSaveJob::ProposedName() const {
    return ProposedConfigurationFileName(m_model.serialNumber.Get(), m_savedAt);
}

bool CConfigSaveJob::Begin(const AskFile& askFile) {
    m_shell.Claim();
    const std::filesystem::path folder = ResolveConfigurationFolder(m_folderSetting, m_defaultFolder);
    const std::optional<std::filesystem::path> chosen = askFile ? askFile(folder, ProposedName()) : std::nullopt;
    if (!chosen || chosen->empty()) {
        m_model.StatusText(kSaveCancelledText);
        return false;
    }
    Start(*chosen);
    return true;
}

void CConfigSaveJob::Start(const std::filesystem::path& file) {
    m_chosenPath = file;
    m_shell.Run([this] { return m_machine.StartSave(); }, [this](Result r) { return Finish(r); });
}

JobOutcome CConfigSaveJob::Finish(Result r) {
    const bool writing = !Failed(r);
    if (writing) {
        r = WriteConfigurationFile(m_chosenPath, m_savedAt, m_machine.Image(),
                                   {m_model.FirmwareVersionText(0), m_model.serialNumber.Get()});
    }
    // The save only reads: whatever happened, the radio is as it was.
    if (r == kOk) {
        m_folderSetting.Set(m_chosenPath.parent_path().string());
        JobOutcome done = JobOutcome::Done(kConfigSavedText);
        done.file = m_chosenPath;
        return done;
    }
    if (r == kErrorCancelled) {
        return JobOutcome::Cancelled(kSaveCancelledText);
    }
    JobOutcome failed = JobOutcome::Failed(kSaveFailedText, r);
    failed.file = m_chosenPath;
    // A file that could not be written is named: the writer shows nothing of its own.
    if (writing) {
        failed.why = FileFailureText(m_chosenPath, r);
    }
    return failed;
}

void CConfigSaveJob::End() {
    m_shell.Release();
}

}  // namespace rm7
