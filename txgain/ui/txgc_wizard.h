#pragma once
// CTXGCWizard ("TX Gain Calibration"): the four pages of the TX gain calibration (welcome, dummy
// load, calibrate, completion) in a classic wizard. It only shows and forwards: every decision is
// in CTXGCJob, which runs through the job shell; the wizard is that shell's view (its log box, its
// cursor, its questions from the event loop). Cancel stops a running calibration through its
// restore and leaves the wizard open with the outcome; the window's close (and the program's end)
// closes it once the run has ended.
//
// Threads: GUI thread only. Run modally with exec().
#include <QWizard>
#include <string>

#include "txgain/txgc_job.h"
#include "ui/help_opener.h"
#include "ui/prompts.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTableWidget;
class QTextEdit;

namespace rm7 {

class CTXGCCalibratePage;
class CTXGCCompletionPage;

class CTXGCWizard final : public QWizard, private IJobView {
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
    QLabel* StatusLabel() const;
    QProgressBar* ProgressBar() const;
    QLabel* TxIndicator() const;
    QLabel* TimeLabel() const;
    QTableWidget* BandTable() const;

    void reject() override;

  private:
    void OnCalibrate();
    void OnCancelButton();

    void SetBusy(bool busy) override;
    void ShowProgress(const JobProgress& progress) override { (void)progress; }
    void Log(const std::string& line) override;
    void ShowBox(const std::string& caption, const std::string& text, MessageIcon icon) override;
    void Ask(const JobQuestion& question, std::function<void(bool yes)> answer) override;
    void ShowOutcome(const JobOutcome& outcome) override;

    CRadioSession& m_session;
    CTXGCJob m_job;
    HelpOpener m_help;
    std::function<Answer(QWidget* owner, const Question& question)> m_ask;
    CTXGCCalibratePage* m_calibrate;
    CTXGCCompletionPage* m_completion;
    // The window's close came while the run went on: it closes once the outcome is in.
    bool m_closeOnEnd = false;
};

}  // namespace rm7
