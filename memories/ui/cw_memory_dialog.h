#pragma once
// CCWMemoryDlg ("Edit CW Memories"): six edit boxes, M1 to M6, that take only what the radio can
// send, with "Save", "Cancel" and "Help". It only shows and forwards: every decision is in
// CCWMemoryJob, whose shell talks to the dialog's CJobView (a failed or cancelled save leaves the
// dialog open with what happened).
//
// Threads: GUI thread only. Run modally with exec(), which returns 1 after a save and 2
// otherwise; the read starts once the dialog shows.
#include <QDialog>
#include <QLineEdit>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "memories/cw_memory_job.h"
#include "memories/ui/banner_sheet.h"
#include "ui/job_dialog.h"
#include "ui/job_view.h"

class QLabel;
class QPushButton;

namespace rm7 {

// An edit box of one memory: typed and pasted text is upper-cased and keeps only the characters
// the radio can send.
class CEditCWMemory final : public QLineEdit {
  public:
    explicit CEditCWMemory(QWidget* parent = nullptr);
    // Shows a text as read; a full memory (251 characters) is shown whole, not cut to the limit.
    void ShowText(const QString& text);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
};

class CCWMemoryDlg final : public CJobDialog, private ICWMemoryView {
  public:
    explicit CCWMemoryDlg(CRadioSession& session, QWidget* parent = nullptr,
                          DialogPrompts prompts = DialogPrompts::Qt());
    ~CCWMemoryDlg() override;

    CCWMemoryJob& Job() { return *m_job; }
    CEditCWMemory* Edit(std::size_t index) const { return m_edits[index]; }
    QPushButton* SaveButton() const { return m_save; }
    QPushButton* CancelButton() const { return m_cancel; }
    QPushButton* HelpButton() const { return m_help; }
    // What a failed or cancelled job says; hidden until then.
    QLabel* OutcomeLabel() const { return m_outcome; }

  protected:
    // "Cancel", Escape and the window's close button all ask the job.
    void reject() override;

  private:
    void ShowMemory(std::size_t index, const std::string& text) override;
    void SetControlsEnabled(bool enabled) override;
    void FocusCancel() override;
    void OnFirstShow() override { m_job->Show(); }
    void OnHidden() override { m_job->Hide(); }
    // The boxes' texts become the pending copies: a box that still has the focus has not told
    // its edit yet.
    void CommitEdits();

    std::array<CEditCWMemory*, kCwMemoryCount> m_edits{};
    QPushButton* m_save;
    QPushButton* m_cancel;
    QPushButton* m_help;
    QLabel* m_outcome;
    std::unique_ptr<CJobView> m_view;
    std::unique_ptr<CCWMemoryJob> m_job;
};

}  // namespace rm7
