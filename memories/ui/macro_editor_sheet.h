#pragma once
// CCommandMacrosSheet ("Edit Command Tester Macros"): two pages of label and command boxes,
// "Macros Assignable to RM7" (macros 1 to 8, with Read and Write) and "Additional Macros" (9 to
// 16); OK copies the boxes of the pages that were opened into the macros, Cancel copies nothing.
// The decisions are CMacroEditorJob's, whose shell talks to the sheet's CJobView: a read or write
// says what it did and the editor stays open; a failed or cancelled one leaves its text there.
//
// Threads: GUI thread only. Run modally with exec().
#include <array>
#include <memory>

#include "memories/command_macro_job.h"
#include "ui/job_dialog.h"
#include "ui/job_view.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;

namespace rm7 {

class CCommandMacrosSheet final : public CJobDialog, private IMacroEditorView, private IMessageTarget {
  public:
    CCommandMacrosSheet(CRadioSession& session, CCommandMacros& macros, QWidget* parent = nullptr,
                        DialogPrompts prompts = DialogPrompts::Qt());
    ~CCommandMacrosSheet() override;

    CMacroEditorJob& Job() { return *m_job; }
    QLineEdit* LabelBox(std::size_t i) const { return m_labels[i]; }
    QLineEdit* CommandBox(std::size_t i) const { return m_commands[i]; }
    QPushButton* ReadButton() const { return m_read; }
    QPushButton* WriteButton() const { return m_write; }
    QPushButton* OkButton() const { return m_ok; }
    QPushButton* CancelButton() const { return m_cancel; }
    QTabWidget* Pages() const { return m_pages; }
    // What the last read or write said; hidden until then.
    QLabel* OutcomeLabel() const { return m_outcome; }

    void accept() override;
    void reject() override;

  private:
    void OnFirstShow() override;
    void OnHidden() override;
    void SetControlsEnabled(bool enabled) override;
    void CloseSheet() override;
    LResult OnMessage(std::uint32_t code, WParam wParam, LParam lParam) override;

    CModel& m_model;
    CCommandMacros& m_macros;
    CObservation m_labelsObservation;
    CObservation m_textsObservation;
    std::array<QLineEdit*, kMacroCount> m_labels{};
    std::array<QLineEdit*, kMacroCount> m_commands{};
    std::array<bool, 2> m_opened{};
    QWidget* m_page1;
    QTabWidget* m_pages;
    QPushButton* m_read;
    QPushButton* m_write;
    QPushButton* m_ok;
    QPushButton* m_cancel;
    QLabel* m_outcome;
    std::unique_ptr<CJobView> m_view;
    std::unique_ptr<CMacroEditorJob> m_job;
};

}  // namespace rm7
