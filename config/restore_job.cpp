#include "config/restore_job.h"

#include "config/config_folder.h"
#include "config/file_refusal.h"

namespace rm7 {

void CConfigRestoreJob::CReaderNotifier::MessageBox(const std::string& caption, const std::string& text,
                                                    MessageIcon icon) {
    m_job.m_model.StatusText(text);
    m_job.m_shell.Box(caption, text, icon);
}

bool CConfigRestoreJob::CReaderNotifier::AskYesNo(const std::string& caption, const std::string& text,
                                                  MessageIcon icon) {
    // Asked while the user's choice of file is read, never from a radio callback.
    return m_job.m_prompts.askNow && m_job.m_prompts.askNow(caption, text, icon);
}

CConfigRestoreJob::CConfigRestoreJob(CRadioSession& session, IJobView& view, CSettingsStore* settings,
                                     std::function<std::filesystem::path()> defaultFolder, AutoBackupSettings backup,
                                     std::function<SavedAtTime()> now)
    : m_model(session.Model()),
      m_settings(settings),
      m_defaultFolder(std::move(defaultFolder)),
      m_machine(session),
      m_backup(session, BackupReason::kRestore, std::move(backup), std::move(now)),
      m_shell(session, m_machine, view,
              {"config restore", kRestoreStepText,
               JobQuestion{JobQuestion::Kind::kStop, kCriticalOperationCaption, kInterruptRestoreQuestion,
                           MessageIcon::Warning},
               kRestoreCancelledText}),
      m_folderSetting(session.Pump(), 0, kConfigurationFolderSetting) {
    LoadFolderSetting(m_folderSetting, m_settings);
    m_machine.SetProgressBar(&m_shell.Progress());
    m_shell.SetBackup(&m_backup);
}

CConfigRestoreJob::~CConfigRestoreJob() {
    End();
    StoreFolderSetting(m_folderSetting, m_settings);
}

bool CConfigRestoreJob::Begin(const Prompts& prompts) {
    m_prompts = prompts;
    m_shell.Claim();
    const std::filesystem::path folder = ResolveConfigurationFolder(m_folderSetting, m_defaultFolder);
    const std::optional<std::filesystem::path> chosen =
        m_prompts.openFile ? m_prompts.openFile(folder) : std::optional<std::filesystem::path>();
    if (!chosen || chosen->empty()) {
        m_model.StatusText(kRestoreCancelledText);
        return false;
    }

    // The whole file is read and checked before anything is sent to the radio.
    ConfigurationFileContents contents;
    const ConfigurationReadContext context{m_model.serialNumber.Get(), m_model.advancedMode.Get() != 0,
                                           &m_readerNotifier};
    const Result read = ReadConfigurationFile(*chosen, context, contents);
    if (read != kOk) {
        m_shell.Finish(RefusedFileOutcome(kRestoreFailedText, *chosen, read));
        return true;
    }
    m_folderSetting.Set(chosen->parent_path().string());
    Start(std::move(contents.runs), *chosen);
    return true;
}

void CConfigRestoreJob::Start(std::vector<PageRun> runs, const std::filesystem::path& file) {
    m_file = file;
    m_machine.SetRuns(std::move(runs));
    // The outcome is the restore's own failure, or the result of the contact that follows the reset.
    m_shell.Run([this] { return m_machine.StartRestore(); }, [this](Result r) { return Finish(r); });
}

JobOutcome CConfigRestoreJob::Finish(Result r) {
    if (r == kOk) {
        // The contact after the reset found the radio.
        JobOutcome done = JobOutcome::Done(kConfigRestoredText, RadioState::kRunning);
        done.file = m_file;
        return done;
    }
    // Every block written and the reset sent: the radio restarts with the file unless the contact
    // found nothing (or was not waited for); some blocks written: some of the file; none: as it was.
    const bool allWritten = m_machine.Total() > 0 && m_machine.Position() >= m_machine.Total();
    const RadioState radio = allWritten ? (r == kErrorCancelled ? RadioState::kUnknown : RadioState::kNotAnswering)
                             : m_machine.Position() > 0 ? RadioState::kPartlyWritten
                                                        : RadioState::kUnchanged;
    JobOutcome ended = r == kErrorCancelled ? JobOutcome::Cancelled(kRestoreCancelledText, radio)
                                            : JobOutcome::Failed(kRestoreFailedText, r, radio);
    ended.file = m_file;
    if (radio == RadioState::kPartlyWritten) {
        ended.next = kRestoreAgainText;
    }
    return ended;
}

void CConfigRestoreJob::End() {
    m_shell.Release();
}

}  // namespace rm7
