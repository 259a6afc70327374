#pragma once
// CPowerOnBannerSheet ("Edit Power On Banner"): one page with the banner's edit box, "Save" and
// Cancel. It only shows and forwards: every decision is in CBannerJob.
//
// Threads: GUI thread only. Run modally with exec(); the read starts once the sheet shows.
#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "memories/banner.h"
#include "ui/help_opener.h"
#include "ui/job_dialog.h"
#include "ui/prompts.h"

class QLineEdit;
class QPushButton;

namespace rm7 {

class CPowerOnBannerSheet final : public CJobDialog, private IBannerView {
  public:
    explicit CPowerOnBannerSheet(CRadioSession& session, QWidget* parent = nullptr,
                                 DialogPrompts prompts = DialogPrompts::Qt());
    ~CPowerOnBannerSheet() override;

    CBannerJob& Job() { return m_job; }
    QLineEdit* Edit() const { return m_edit; }
    QPushButton* SaveButton() const { return m_save; }
    QPushButton* CancelButton() const { return m_cancel; }
    bool IsChanged() const { return m_changed; }

  protected:
    void reject() override;

  private:
    void ShowText(const std::string& text) override;
    void SetChanged(bool changed) override { m_changed = changed; }
    void SetEditable(bool editable) override;
    void ShowMessage(const std::string& caption, const std::string& text, MessageIcon icon) override;
    void CloseSheet() override;
    void OnFirstShow() override { m_job.Show(); }
    void OnHidden() override { m_job.Hide(); }
    void OnSave();

    CBannerJob m_job;
    QLineEdit* m_edit;
    QPushButton* m_save;
    QPushButton* m_cancel;
    bool m_changed = false;
};

}  // namespace rm7
