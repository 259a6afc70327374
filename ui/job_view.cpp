#include "ui/job_view.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <utility>

#include "platform/format.h"
#include "ui/qt_text.h"

namespace rm7 {

JobBarView BarViewOf(const JobProgress& progress) {
    JobBarView bar;
    if (progress.secondsLeft > 0 && progress.waitSeconds > 0) {
        const std::uint32_t left = std::min(progress.secondsLeft, progress.waitSeconds);
        bar.maximum = static_cast<int>(progress.waitSeconds);
        bar.value = static_cast<int>(progress.waitSeconds - left);
        bar.text = StrFormat("%s: %u s left", progress.step.c_str(), left);
        return bar;
    }
    if (progress.range > 0) {
        bar.maximum = static_cast<int>(progress.range);
        bar.value = static_cast<int>(std::min(progress.position, progress.range));
    }
    // The meter's columns are padded for a terminal; a label needs none of the padding.
    std::string meter = progress.meter;
    meter.erase(0, meter.find_first_not_of(' '));
    bar.text = meter.empty() ? progress.step : meter;
    return bar;
}

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
    const JobBarView bar = BarViewOf(progress);
    if (m_widgets.progress != nullptr) {
        m_widgets.progress->setRange(0, bar.maximum);
        m_widgets.progress->setValue(bar.value);
    }
    if (m_widgets.meter != nullptr) {
        m_widgets.meter->setText(Text(bar.text));
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
    // A job that ended before its first unit leaves no busy bar running beside its outcome.
    if (m_widgets.progress != nullptr && m_widgets.progress->maximum() == 0) {
        m_widgets.progress->setRange(0, 1);
        m_widgets.progress->setValue(0);
    }
    const std::vector<std::string> lines = outcome.Lines();
    if (m_status != nullptr) {
        m_status->StatusText(lines.front());
    }
    if (outcome.result == JobResult::kDone && m_results.endOnDone && !m_keepOpenWhenDone) {
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
    if (outcome.result == JobResult::kDone && !m_keepOpenWhenDone) {
        return;  // an editor stays open with its own buttons
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
