#include "ui/job_dialog.h"

#include <QHideEvent>
#include <QKeyEvent>
#include <QShowEvent>
#include <QTimer>
#include <utility>

namespace rm7 {

CJobDialog::CJobDialog(QWidget* parent, DialogPrompts prompts, const char* helpTopic)
    : QDialog(parent), m_prompts(std::move(prompts)), m_helpTopic(helpTopic) {}

void CJobDialog::ShowHelp() {
    if (m_helpTopic != nullptr && m_prompts.help) {
        m_prompts.help(QString::fromLatin1(m_helpTopic));
    }
}

void CJobDialog::QueueBox(const std::string& caption, const std::string& text, MessageIcon icon) {
    m_pending.push_back({caption, text, icon});
    if (!m_showing) {
        m_showing = true;
        QTimer::singleShot(0, this, [this] { ShowQueuedBoxes(); });
    }
}

void CJobDialog::ShowQueuedBoxes() {
    while (!m_pending.empty()) {
        const PendingBox box = m_pending.front();
        m_pending.erase(m_pending.begin());
        if (m_prompts.show) {
            m_prompts.show(this, box.caption, box.text, box.icon);
        }
    }
    m_showing = false;
    if (m_endAsked && !m_asking) {
        QDialog::done(*std::exchange(m_endAsked, std::nullopt));
    }
}

Answer CJobDialog::AskNow(const Question& question) {
    if (!m_prompts.ask) {
        return question.withCancel ? Answer::Cancel : Answer::No;
    }
    m_asking = true;
    const Answer answer = m_prompts.ask(this, question);
    m_asking = false;
    // The job may have ended while the question was open: the dialog closes once it is answered.
    if (m_endAsked && !m_showing) {
        const int result = *std::exchange(m_endAsked, std::nullopt);
        QTimer::singleShot(0, this, [this, result] { QDialog::done(result); });
    }
    return answer;
}

void CJobDialog::EndAfterBoxes(int result) {
    if (m_showing || m_asking) {
        m_endAsked = result;
        return;
    }
    QDialog::done(result);
}

void CJobDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        OnFirstShow();
    }
}

void CJobDialog::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    // Once ended, the dialog hears no more notices and the radio's events go back to the pages.
    if (!event->spontaneous()) {
        OnHidden();
    }
}

void CJobDialog::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F1 && m_helpTopic != nullptr) {
        ShowHelp();
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace rm7
