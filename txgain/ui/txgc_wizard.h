#pragma once
// CTXGCWizard ("TX Gain Calibration"): the four pages of the TX gain calibration (welcome, dummy
// load, calibrate, completion) in a classic wizard. It only shows and forwards: every decision is
// in CTXGCJob. Cancel and the window's close go to the job, which stops a running calibration
// through its restore and closes the wizard only once the run has ended.
//
// Threads: GUI thread only. Run modally with exec().
#include <QWizard>
#include <string>

#include "txgain/txgc_job.h"
#include "ui/help_opener.h"
#include "ui/prompts.h"

class QLabel;
class QPushButton;
class QTextEdit;

namespace rm7 {

class CTXGCCalibratePage;
class CTXGCCompletionPage;

class CTXGCWizard final : public QWizard, private ITXGCView {
  public:
    enum PageId { kWelcome, kDummyLoad, kCalibrate, kCompletion };

    // ask: the question a failed backup asks (default: Qt's box).
    explicit CTXGCWizard(CRadioSession& session, QWidget* parent = nullptr, HelpOpener help = {},
                         std::function<Answer(QWidget* owner, const Question& question)> ask = {});
    ~CTXGCWizard() override;

    CTXGCJob& Job() { return m_job; }
    QPushButton* CalibrateButton() const;
    QTextEdit* LogBox() const;
    QLabel* ClickNextLabel() const;
    QTextEdit* SummaryBox() const;

    void reject() override;

  private:
    void AppendLog(const std::string& line) override;
    void SetWizardButtons(bool back, bool next, bool finish) override;
    void SetCalibrateEnabled(bool enabled) override;
    void ShowClickNext(bool shown) override;
    void SetBusyCursor(bool busy) override;
    void CloseWizard() override;
    bool AskYesNo(const std::string& caption, const std::string& text) override;

    CTXGCJob m_job;
    HelpOpener m_help;
    std::function<Answer(QWidget* owner, const Question& question)> m_ask;
    CTXGCCalibratePage* m_calibrate;
    CTXGCCompletionPage* m_completion;
    bool m_closing = false;
};

}  // namespace rm7
