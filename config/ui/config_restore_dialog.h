#pragma once
// CConfigRestoreDlg ("Restore Configuration"): asks for a file, has it read and checked, and
// shows the restore's progress. The decisions are CConfigRestoreJob's.
//
// Threads: GUI thread only. Run modally with exec(); the file dialog opens once the dialog shows.
#include <memory>

#include "config/restore_job.h"
#include "config/ui/config_save_dialog.h"

namespace rm7 {

class CConfigRestoreDlg final : public CConfigJobDialog {
  public:
    // settings may be null: the folder is then not remembered.
    CConfigRestoreDlg(CRadioSession& session, CSettingsStore* settings, QWidget* parent = nullptr,
                      DialogPrompts prompts = QtConfigDialogPrompts());
    ~CConfigRestoreDlg() override;

    CConfigRestoreJob& Job() { return *m_job; }

  protected:
    void OnFirstShown() override;
    void OnHidden() override { m_job->End(); }
    void OnCancel() override { m_view.OnCancel(m_job->Shell()); }

  private:
    CJobView m_view;
    std::unique_ptr<CConfigRestoreJob> m_job;
};

}  // namespace rm7
