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

class QLineEdit;
class QPushButton;

namespace rm7 {

// The boxes and help a memories dialog shows. Tests replace them; by default they are Qt's
// boxes and nothing for help. show never runs inside the call.
struct MemoriesDialogPrompts {
    std::function<void(QWidget* owner, const std::string& caption, const std::string& text, MessageIcon icon)> show;
    // Yes, No or Cancel (QMessageBox::StandardButton); only in answer to the user's own action.
    std::function<int(QWidget* owner, const std::string& caption, const std::string& text, bool withCancel)> ask;
    HelpOpener help;

    static MemoriesDialogPrompts Qt(HelpOpener help = {});
};

class CPowerOnBannerSheet final : public QDialog, private IBannerView {
  public:
    explicit CPowerOnBannerSheet(CRadioSession& session, QWidget* parent = nullptr,
                                 MemoriesDialogPrompts prompts = MemoriesDialogPrompts::Qt());
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

    MemoriesDialogPrompts m_prompts;
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
