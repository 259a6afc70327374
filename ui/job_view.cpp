#include "ui/job_view.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <utility>

#include "platform/format.h"
#include "ui/qt_text.h"

namespace rm7 {

CJobView::CJobView(CJobDialog& dialog, Widgets widgets, IUserNotifier* status, std::string errorCaption,
                   Results results)
    : m_dialog(dialog),
      m_widgets(widgets),
      m_status(status),
      m_errorCaption(std::move(errorCaption)),
      m_results(results) {
    if (m_widgets.outcome != nullptr) {
        m_widgets.outcome->hide();
    }
}

void CJobView::OnCancel(CJobShell& shell) {
    if (shell.Running()) {
        shell.RequestStop();
        return;
    }
    m_dialog.EndAfterBoxes(shell.Outcome() ? ResultOf(shell.Outcome()->result) : m_results.cancelled);
}

void CJobView::SetBusy(bool busy) {
    if (busy) {
        m_dialog.setCursor(Qt::WaitCursor);
        if (m_widgets.cancel != nullptr) {
            m_widgets.cancel->setCursor(Qt::ArrowCursor);
        }
    } else {
        m_dialog.unsetCursor();
        if (m_widgets.cancel != nullptr) {
            m_widgets.cancel->unsetCursor();
        }
    }
}

void CJobView::ShowProgress(const JobProgress& progress) {
    if (m_widgets.progress != nullptr && progress.range > 0) {
        m_widgets.progress->setRange(0, static_cast<int>(progress.range));
        m_widgets.progress->setValue(static_cast<int>(progress.position));
    }
    if (m_widgets.meter != nullptr) {
        const std::string text = progress.secondsLeft > 0
                                     ? StrFormat("%s: %u s", progress.step.c_str(), progress.secondsLeft)
                                     : progress.meter;
        m_widgets.meter->setText(Text(text).trimmed());
    }
}

void CJobView::Log(const std::string& line) {
    if (m_widgets.log != nullptr) {
        m_widgets.log->appendPlainText(Text(line));
    }
}

void CJobView::ShowBox(const std::string& caption, const std::string& text, MessageIcon icon) {
    m_dialog.QueueBox(caption, text, icon);
}

void CJobView::Ask(const JobQuestion& question, std::function<void(bool yes)> answer) {
    // From the event loop: the question may come from inside a radio callback.
    CJobDialog* dialog = &m_dialog;
    QTimer::singleShot(0, dialog, [dialog, question, answer = std::move(answer)] {
        answer(dialog->AskNow(Question{question.caption, question.text, question.icon, false}) == Answer::Yes);
    });
}

void CJobView::ShowOutcome(const JobOutcome& outcome) {
    const std::vector<std::string> lines = outcome.Lines();
    if (m_status != nullptr) {
        m_status->StatusText(lines.front());
    }
    if (outcome.result == JobResult::kDone && m_results.endOnDone) {
        m_dialog.EndAfterBoxes(m_results.done);
        return;
    }
    std::string text = outcome.Text();
    if (outcome.result == JobResult::kDone && outcome.radio == RadioState::kUnchanged) {
        // An editor's read: that it changed nothing goes without saying.
        text = lines.front();
    }
    if (m_widgets.outcome != nullptr) {
        m_widgets.outcome->setText(Text(text));
        m_widgets.outcome->show();
    }
    if (outcome.result == JobResult::kDone) {
        return;
    }
    if (m_widgets.cancel != nullptr) {
        m_widgets.cancel->setText(QStringLiteral("Close"));
    }
    if (outcome.result == JobResult::kFailed && !outcome.told) {
        m_dialog.QueueBox(m_errorCaption, text, MessageIcon::Error);
    }
}

int CJobView::ResultOf(JobResult result) const {
    switch (result) {
        case JobResult::kDone:
            return m_results.done;
        case JobResult::kCancelled:
            return m_results.cancelled;
        case JobResult::kFailed:
            return m_results.failed;
    }
    return m_results.failed;
}

}  // namespace rm7
