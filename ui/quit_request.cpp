#include "ui/quit_request.h"

#include <QApplication>
#include <QDialog>

namespace rm7 {

namespace {
constexpr int kPollMs = 100;
}

CQuitRequest::CQuitRequest(std::function<void()> quit, QObject* parent)
    : QObject(parent), m_quit(quit ? std::move(quit) : [] { QApplication::quit(); }) {
    m_poll.setInterval(kPollMs);
    connect(&m_poll, &QTimer::timeout, this, [this] { QuitOnceNoDialog(); });
}

void CQuitRequest::Request() {
    if (m_requested) {
        m_poll.stop();
        if (!m_quitting) {
            m_quitting = true;
            m_quit();
        }
        return;
    }
    m_requested = true;
    m_poll.start();
    if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
        // May ask the user, in a loop of its own, before it closes: a second request still
        // comes through.
        dialog->reject();
    }
    QuitOnceNoDialog();
}

void CQuitRequest::QuitOnceNoDialog() {
    if (m_quitting || QApplication::activeModalWidget() != nullptr) {
        return;
    }
    m_poll.stop();
    m_quitting = true;
    m_quit();
}

}  // namespace rm7
