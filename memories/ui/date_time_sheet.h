#pragma once
// CDateTimeSheet ("Set Time"): one page with the choice of UTC or local time, the computer's time
// and the radio's as last read, and OK, Cancel and Apply. It only shows and forwards: every
// decision is in CDateTimeJob.
//
// Threads: GUI thread only. Run modally with exec(); the reading starts once the sheet shows.
#include <QDialog>
#include <string>
#include <vector>

#include "memories/date_time.h"
#include "ui/help_opener.h"
#include "ui/prompts.h"

class QLabel;
class QPushButton;
class QRadioButton;

namespace rm7 {

class CDateTimeSheet final : public QDialog, private IDateTimeView {
  public:
    // clock: the computer's clock, milliseconds since the Unix epoch.
    explicit CDateTimeSheet(CRadioSession& session, QWidget* parent = nullptr,
                            DialogPrompts prompts = DialogPrompts::Qt(),
                            CDateTimeStateMachine::WallClock clock = WallClockMs);
    ~CDateTimeSheet() override;

    CDateTimeJob& Job() { return m_job; }
    QRadioButton* UtcButton() const { return m_utc; }
    QRadioButton* LocalButton() const { return m_local; }
    QLabel* ComputerTime() const { return m_computerTime; }
    QLabel* RadioTime() const { return m_radioTime; }
    QPushButton* OkButton() const { return m_ok; }
    QPushButton* ApplyButton() const { return m_apply; }
    QPushButton* CancelButton() const { return m_cancel; }

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void reject() override;

  private:
    void ShowComputerTime(const std::string& text) override;
    void ShowRadioTime(const std::string& text) override;
    void ShowUtc(bool utc) override;
    void SetApplyEnabled(bool enabled) override;
    void ShowMessage(const std::string& caption, const std::string& text, MessageIcon icon) override;
    void CloseSheet(bool accepted) override;
    void ShowPendingBoxes();
    void Close(bool accepted);

    struct PendingBox {
        std::string caption;
        std::string text;
        MessageIcon icon;
    };

    DialogPrompts m_prompts;
    CDateTimeJob m_job;
    QRadioButton* m_utc;
    QRadioButton* m_local;
    QLabel* m_computerTime;
    QLabel* m_radioTime;
    QPushButton* m_ok;
    QPushButton* m_cancel;
    QPushButton* m_apply;
    bool m_shown = false;
    std::vector<PendingBox> m_pending;
    bool m_showing = false;
    bool m_closeAsked = false;
    bool m_closeAccepted = false;
};

}  // namespace rm7
