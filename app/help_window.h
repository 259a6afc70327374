#pragma once
// The in-app help: the program's help pages (compiled in under qrc:/help/) in a browser window
// with Back, Forward and Contents. A topic is a page name with an optional anchor, as
// "Port.htm" or "Configuration.htm#SetDateTime"; no topic shows the contents.
#include <QWidget>

class QTextBrowser;

namespace rm7 {

class CHelpWindow final : public QWidget {
  public:
    explicit CHelpWindow(QWidget* parent = nullptr);

    void ShowTopic(const QString& topic);
    QTextBrowser* Browser() const { return m_browser; }
    // The page and anchor shown, as a topic ("Port.htm#Speed").
    QString CurrentTopic() const;

    static constexpr const char* kContents = "index.htm";

  private:
    QTextBrowser* m_browser;
};

}  // namespace rm7
