#pragma once
// What the desktop program does when it is asked to end (SIGTERM, SIGINT, SIGHUP): a job's
// dialog is closed as its Cancel would close it, so a calibration puts the radio back to
// receive and to its settings first and a firmware load asks before it stops; the program
// ends once no dialog is left. A second request ends it at once.
//
// Threads: GUI thread only.
#include <QObject>
#include <QTimer>
#include <functional>

namespace rm7 {

class CQuitRequest final : public QObject {
  public:
    // quit ends the program (default: QApplication::quit).
    explicit CQuitRequest(std::function<void()> quit = {}, QObject* parent = nullptr);

    void Request();

  private:
    void QuitOnceNoDialog();

    std::function<void()> m_quit;
    QTimer m_poll;
    bool m_requested = false;
    bool m_quitting = false;
};

}  // namespace rm7
