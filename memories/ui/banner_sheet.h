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
#include "ui/prompts.h"

class QLineEdit;
class QPushButton;

namespace rm7 {

class CPowerOnBannerSheet final : public QDialog, private IBannerView {
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
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void reject() override;

  private:
    void ShowText(const std::string& text) override;
    void SetChanged(bool changed) override { m_changed = changed; }
    void SetEditable(bool editable) override;
    void ShowMessage(const std::string& caption, const std::string& text, MessageIcon icon) override;
    void CloseSheet() override;
    void ShowPendingBoxes();
    void OnSave();

    struct PendingBox {
        std::string caption;
        std::string text;
        MessageIcon icon;
    };

    DialogPrompts m_prompts;
    CBannerJob m_job;
    QLineEdit* m_edit;
    QPushButton* m_save;
    QPushButton* m_cancel;
    bool m_changed = false;
    bool m_shown = false;
    std::vector<PendingBox> m_pending;
    bool m_showing = false;
    bool m_closeAsked = false;
};

}  // namespace rm7
