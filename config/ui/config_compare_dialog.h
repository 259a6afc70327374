#pragma once
// "Compare with Radio...": CConfigCompareDlg asks for a file and reads the radio (the decisions
// are CConfigCompareJob's); CConfigDifferenceDlg then shows the differences as
// `rm7util config diff FILE --radio` prints them.
//
// Threads: GUI thread only. Run modally with exec().
#include <memory>
#include <string>

#include "config/compare_job.h"
#include "config/ui/config_save_dialog.h"

class QLabel;
class QPlainTextEdit;

namespace rm7 {

class CConfigCompareDlg final : public CConfigJobDialog {
  public:
    // settings may be null: the folder is then not remembered.
    CConfigCompareDlg(CRadioSession& session, CSettingsStore* settings, QWidget* parent = nullptr,
                      DialogPrompts prompts = QtConfigDialogPrompts());
    ~CConfigCompareDlg() override;

    CConfigCompareJob& Job() { return *m_job; }

  protected:
    void OnFirstShown() override;
    void OnHidden() override { m_job->End(); }
    void OnCancel() override { m_view.OnCancel(m_job->Shell()); }

  private:
    CJobView m_view;
    std::unique_ptr<CConfigCompareJob> m_job;
};

class CConfigDifferenceDlg final : public QDialog {
  public:
    CConfigDifferenceDlg(const ConfigurationDifference& difference, const std::string& text, QWidget* parent = nullptr);

    QLabel* Summary() const { return m_summary; }
    QPlainTextEdit* Details() const { return m_details; }

  private:
    QLabel* m_summary;
    QPlainTextEdit* m_details;
};

// What the page's button runs: the compare, then, when it compared, the differences.
void RunCompareWithRadio(CRadioSession& session, CSettingsStore* settings, QWidget* parent);

}  // namespace rm7
