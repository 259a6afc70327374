#pragma once
// CJobDialog: what every dialog that runs a job does around the job. The job hears of the
// dialog's first show (it starts reading) and of every hide that is not the window system's (it
// stops listening). F1 opens the dialog's help topic. A box the job asks for, often from inside a
// radio callback, is queued and shown from the event loop; an end the job asks for while a box is
// due or a question is open waits until the user has seen them.
//
// Threads: GUI thread only.
#include <QDialog>
#include <optional>
#include <string>
#include <vector>

#include "ui/prompts.h"

namespace rm7 {

class CJobDialog : public QDialog {
  public:
    const DialogPrompts& Prompts() const { return m_prompts; }

    // For the dialog's view (ui/job_view.h) too.
    void QueueBox(const std::string& caption, const std::string& text, MessageIcon icon);
    // A question shown now (the job waits for its answer); without a way to ask, the cautious answer.
    Answer AskNow(const Question& question);
    // QDialog::done(result), now or once the queued boxes and an open question are done with.
    void EndAfterBoxes(int result);

  protected:
    // helpTopic: none for a dialog without help.
    CJobDialog(QWidget* parent, DialogPrompts prompts, const char* helpTopic);

    virtual void OnFirstShow() = 0;
    virtual void OnHidden() = 0;

    void ShowHelp();

    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    struct PendingBox {
        std::string caption;
        std::string text;
        MessageIcon icon;
    };
    void ShowQueuedBoxes();

    DialogPrompts m_prompts;
    const char* m_helpTopic;
    bool m_shown = false;
    std::vector<PendingBox> m_pending;
    bool m_showing = false;
    bool m_asking = false;
    std::optional<int> m_endAsked;
};

}  // namespace rm7
