#pragma once
// CPowerOnBannerSheet ("Edit Power On Banner"): one page with the banner's edit box, "Save" and
// Cancel. It only shows and forwards: every decision is in CBannerJob, whose shell talks to the
// sheet's CJobView (a failed or cancelled job leaves the sheet open with what happened).
//
// Threads: GUI thread only. Run modally with exec(); the read starts once the sheet shows.
#include <QDialog>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "memories/banner_job.h"
#include "ui/help_opener.h"
#include "ui/job_dialog.h"
#include "ui/job_view.h"
#include "ui/prompts.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace rm7 {

class CPowerOnBannerSheet final : public CJobDialog, private IBannerView {
  public:
    explicit CPowerOnBannerSheet(CRadioSession& session, QWidget* parent = nullptr,
                                 DialogPrompts prompts = DialogPrompts::Qt());
    ~CPowerOnBannerSheet() override;

    CBannerJob& Job() { return *m_job; }
    QLineEdit* Edit() const { return m_edit; }
    QPushButton* SaveButton() const { return m_save; }
    QPushButton* CancelButton() const { return m_cancel; }
    bool IsChanged() const { return m_changed; }
    // What a failed or cancelled job says; hidden until then.
    QLabel* OutcomeLabel() const { return m_outcome; }

  protected:
    void reject() override;

  private:
    void ShowText(const std::string& text) override;
    void SetChanged(bool changed) override { m_changed = changed; }
    void SetEditable(bool editable) override;
    void OnFirstShow() override { m_job->Show(); }
    void OnHidden() override { m_job->Hide(); }
    void OnSave();

    QLineEdit* m_edit;
    QPushButton* m_save;
    QPushButton* m_cancel;
    QLabel* m_outcome;
    bool m_changed = false;
    std::unique_ptr<CJobView> m_view;
    std::unique_ptr<CBannerJob> m_job;
};

}  // namespace rm7
