#pragma once
// CDateTimeSheet ("Set Time"): one page with the choice of UTC or local time, the computer's time
// and the radio's as last read, and OK, Cancel and Apply. It only shows and forwards: every
// decision is in CDateTimeJob, whose shell talks to the sheet's CJobView: a set closes the sheet
// (OK) or says what it did (Apply); a failure or a cancelled set leaves the sheet open with what
// happened.
//
// Threads: GUI thread only. Run modally with exec(); the reading starts once the sheet shows.
#include <QDialog>
#include <memory>
#include <string>
#include <vector>

#include "clock/date_time_job.h"
#include "ui/help_opener.h"
#include "ui/job_dialog.h"
#include "ui/job_view.h"
#include "ui/prompts.h"

class QLabel;
class QPushButton;
class QRadioButton;

namespace rm7 {

class CDateTimeSheet final : public CJobDialog, private IDateTimeView {
  public:
    // clock: the computer's clock, milliseconds since the Unix epoch.
    explicit CDateTimeSheet(CRadioSession& session, QWidget* parent = nullptr,
                            DialogPrompts prompts = DialogPrompts::Qt(),
                            CDateTimeStateMachine::WallClock clock = WallClockMs);
    ~CDateTimeSheet() override;

    CDateTimeJob& Job() { return *m_job; }
    QRadioButton* UtcButton() const { return m_utc; }
    QRadioButton* LocalButton() const { return m_local; }
    QLabel* ComputerTime() const { return m_computerTime; }
    QLabel* RadioTime() const { return m_radioTime; }
    QLabel* Difference() const { return m_difference; }
    QPushButton* OkButton() const { return m_ok; }
    QPushButton* ApplyButton() const { return m_apply; }
    QPushButton* CancelButton() const { return m_cancel; }
    // What a failed or cancelled set says; hidden until then.
    QLabel* OutcomeLabel() const { return m_outcome; }

  protected:
    void reject() override;

  private:
    void ShowComputerTime(const std::string& text) override;
    void ShowRadioTime(const std::string& text) override;
    void ShowDifference(const std::string& text) override;
    void ShowUtc(bool utc) override;
    void SetApplyEnabled(bool enabled) override;
    void OnFirstShow() override { m_job->Show(); }
    void OnHidden() override { m_job->Hide(); }

    QRadioButton* m_utc;
    QRadioButton* m_local;
    QLabel* m_computerTime;
    QLabel* m_radioTime;
    QLabel* m_difference = nullptr;
    QPushButton* m_ok;
    QPushButton* m_cancel;
    QPushButton* m_apply;
    QLabel* m_outcome;
    std::unique_ptr<CJobView> m_view;
    std::unique_ptr<CDateTimeJob> m_job;
};

}  // namespace rm7
