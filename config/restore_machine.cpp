#include "config/restore_machine.h"

#include "config/file_classes.h"

#include "config/save_machine.h"
#include "platform/error_text.h"

namespace rm7 {

void CConfigRestorePicPromLoopBodyState::Init() {
    CWritePicPromState::Init();
    PageRun& run = Host().Runs()[Host().LoopIndex()];
    // A run's data is indexed by page offset: the area starts at its first byte.
    SetTransfer(run.Address(), run.Length(), run.data.data() + run.first);
}

CConfigRestoreStateMachine::CConfigRestoreStateMachine(CRadioSession& session)
    : CProgressBarStateHost(session, kTimerId, kUnitsPerStep),
      m_findSpeed(*this, &m_textTerminalOff),
      m_textTerminalOff(*this, &m_loopInit),
      m_loopInit(*this, "LoopInit", &m_loopTest),
      m_runWrite(*this, &m_loopStep),
      m_loopStep(*this, "LoopStep", &m_loopTest),
      m_loopTest(*this, "LoopTest", &m_runWrite, &m_reset),
      m_reset(*this, &FinalState()) {}

std::uint32_t CConfigRestoreStateMachine::TotalLength() const {
    std::uint32_t total = 0;
    for (const PageRun& run : m_runs) {
        total += run.Length();
    }
    return total;
}

bool CConfigRestoreStateMachine::StartRestore() {
    if (!IsIdle()) {
        SetLastError(kErrBusyStateMachine);
        return false;
    }
    SetRange(TotalLength());
    return Start(m_findSpeed);
}

void CConfigRestoreJob::CReaderNotifier::MessageBox(const std::string& caption, const std::string& text,
                                                    MessageIcon icon) {
    m_model.StatusText(text);
    m_view.ShowMessage(caption, text, icon);
}

bool CConfigRestoreJob::CReaderNotifier::AskYesNo(const std::string& caption, const std::string& text,
                                                  MessageIcon icon) {
    return m_view.AskYesNo(caption, text, icon);
}

CConfigRestoreJob::CConfigRestoreJob(CRadioSession& session, IConfigJobView& view, CSettingsStore* settings,
                                     std::function<std::filesystem::path()> defaultFolder)
    : m_model(session.Model()),
      m_view(view),
      m_settings(settings),
      m_defaultFolder(std::move(defaultFolder)),
      m_machine(session),
      m_readerNotifier(m_model, view),
      m_run(session, m_machine, [this](Result r) { OnCompletion(r); }),
      m_backup(session, ReadAutoBackupSettings(settings)),
      m_folderSetting(session.Pump(), 0, kConfigurationFolderSetting) {
    LoadFolderSetting(m_folderSetting, m_settings);
}

CConfigRestoreJob::~CConfigRestoreJob() {
    End();
    StoreFolderSetting(m_folderSetting, m_settings);
}

void CConfigRestoreJob::Begin() {
    m_run.Claim();

    const std::filesystem::path folder = ResolveConfigurationFolder(m_folderSetting, m_defaultFolder);
    const std::optional<std::filesystem::path> chosen = m_view.AskOpenFileName(folder);
    if (!chosen || chosen->empty()) {
        m_view.EndDialog(kCancelled);
        return;
    }

    // The whole file is read and checked before anything is sent to the radio.
    ConfigurationFileContents contents;
    const ConfigurationReadContext context{m_model.serialNumber.Get(), m_model.advancedMode.Get() != 0,
                                           &m_readerNotifier};
    const Result read = ReadConfigurationFile(*chosen, context, contents);
    if (read != kOk) {
        // The reader has said what it found in the file; a file it could not load is said here,
        // once. The dialog waits idle to be closed, which reports the refusal.
        if (IsSystemFailure(read)) {
            m_readerNotifier.MessageBox(kConfigReadErrorCaption, FileFailureText(*chosen, read), MessageIcon::Error);
        }
        m_lastResult = read;
        return;
    }

    m_folderSetting.Set(chosen->parent_path().string());
    m_machine.SetRuns(std::move(contents.runs));
    m_busy.Enter();
    m_backup.Run(BackupReason::kRestore, [this](const BackupOutcome& outcome) { OnBackup(outcome); });
}

void CConfigRestoreJob::OnBackup(const BackupOutcome& outcome) {
    if (!outcome.MayGoOn()) {
        // Closed while the radio was read, or the user would rather not go on without a backup.
        if (outcome.code == kErrorCancelled ||
            !m_view.AskYesNo(kBackupFailedCaption, BackupFailedQuestion(outcome), MessageIcon::Warning)) {
            m_busy.Leave();
            m_lastResult = kErrorCancelled;
            m_model.StatusText(kRestoreCancelledText);
            m_view.EndDialog(kCancelled);
            return;
        }
    }
    m_machine.SetProgressBar(&m_view);
    // The outcome is the restore's own failure, or the result of the contact that follows the reset.
    if (!m_run.Start([this] { return m_machine.StartRestore(); })) {
        m_run.Release();
    }
}

void CConfigRestoreJob::OnCompletion(Result r) {
    m_busy.Leave();
    m_lastResult = r;
    if (r == kOk) {
        m_model.StatusText(kConfigRestoredText);
        m_view.EndDialog(kRestored);
    } else if (r == kErrorCancelled) {
        m_model.StatusText(kRestoreCancelledText);
        m_view.EndDialog(kCancelled);
    } else {
        m_model.StatusText(kRestoreFailedText);
        m_view.SetCancelButtonText("Close");
        const std::string text = ErrorText(r);
        m_model.StatusText(text);
        m_view.ShowMessage(kRestoreErrorCaption, text, MessageIcon::Error);
    }
}

void CConfigRestoreJob::CloseRequest() {
    if (m_backup.Stop()) {
        return;  // the backup's outcome ends the dialog
    }
    const StopRequest stop = m_run.RequestStop(
        [this] { return m_view.AskYesNo(kCriticalOperationCaption, kInterruptRestoreQuestion, MessageIcon::Warning); });
    if (stop == StopRequest::kStopping) {
        m_view.ShowMessage(kCriticalOperationCaption, kRestoreInterruptedText, MessageIcon::Warning);
    }
    if (stop != StopRequest::kIdle) {
        return;
    }
    if (m_run.Running()) {
        // Every byte is written and the radio was reset; the contact machine is finding it again
        // (one circle of speeds at most). The outcome closes the dialog.
        return;
    }
    const Result r = m_lastResult.value_or(kErrorCancelled);
    m_view.EndDialog(r == kOk ? kRestored : r == kErrorCancelled ? kCancelled : kFailed);
}

void CConfigRestoreJob::End() {
    m_backup.Release();
    m_run.Release();
}

}  // namespace rm7
