#pragma once
// The in-app help: the program's help pages (compiled in under qrc:/help/) in a browser window
// with Back, Forward, Contents and a find field (Ctrl+F; Enter or F3 finds the next match,
// Shift+Enter or Shift+F3 the one before); Esc and Ctrl+W close it. A topic is a page name with an
// optional anchor, as "Port.htm" or "Configuration.htm#SetDateTime"; no topic shows the contents.
#include <QWidget>

class QLabel;
class QLineEdit;
class QTextBrowser;

namespace rm7 {

class CHelpWindow final : public QWidget {
  public:
    explicit CHelpWindow(QWidget* parent = nullptr);

    void ShowTopic(const QString& topic);
    QTextBrowser* Browser() const { return m_browser; }
    // The page and anchor shown, as a topic ("Port.htm#Speed").
    QString CurrentTopic() const;
    QLineEdit* FindField() const { return m_find; }
    // The next (or the one before) match of the find field's text on the page shown, from the
    // selection on and round past the end; false, and said beside the field, when there is none.
    bool FindNext(bool backward = false);

    static constexpr const char* kContents = "index.htm";

  private:
    QTextBrowser* m_browser;
    QLineEdit* m_find = nullptr;
    QLabel* m_findResult = nullptr;
};

}  // namespace rm7
