#include "config/ui/config_restore_dialog.h"

#include "config/config_folder.h"

namespace rm7 {

CConfigRestoreDlg::CConfigRestoreDlg(CRadioSession& session, CSettingsStore* settings, QWidget* parent,
                                     DialogPrompts prompts)
    : CConfigJobDialog(QStringLiteral("Restore Configuration"), QStringLiteral("Restoring configuration"),
                       std::move(prompts), parent),
      m_view(*this, {ProgressBar(), TransferLabel(), OutcomeLabel(), CancelButton(), nullptr},
             session.Model().Notifier(), kRestoreErrorCaption,
             {CConfigRestoreJob::kRestored, CConfigRestoreJob::kCancelled, CConfigRestoreJob::kFailed}),
      m_job(std::make_unique<CConfigRestoreJob>(
          session, m_view, settings, [] { return DefaultConfigurationFolder(); }, ReadAutoBackupSettings(settings))) {}

CConfigRestoreDlg::~CConfigRestoreDlg() = default;

void CConfigRestoreDlg::OnFirstShown() {
    CConfigRestoreJob::Prompts prompts;
    prompts.openFile = [this](const std::filesystem::path& folder) { return AskOpenFileName(folder); };
    prompts.askNow = [this](const std::string& caption, const std::string& text, MessageIcon icon) {
        return AskYesNo(caption, text, icon);
    };
    if (!m_job->Begin(prompts)) {
        EndAfterBoxes(CConfigRestoreJob::kCancelled);
    }
}

}  // namespace rm7
