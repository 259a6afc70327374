#include "app/help_window.h"

#include <QAction>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QShortcut>
#include <QStyle>
#include <QTextBrowser>
#include <QTextCursor>
#include <QToolBar>
#include <QUrl>
#include <QVBoxLayout>

#include "platform/version.h"

// The pages are compiled into a static library: the linker keeps them only when asked by name.
static void InitHelpResources() {
    Q_INIT_RESOURCE(rm7_utility);
}

namespace rm7 {

namespace {

const QString kHelpRoot = QStringLiteral("qrc:/help/");

QString HelpTitle() {
    return QString::fromLatin1(kProductName) + QStringLiteral(" Help");
}

}  // namespace

CHelpWindow::CHelpWindow(QWidget* parent) : QWidget(parent, Qt::Window), m_browser(new QTextBrowser(this)) {
    InitHelpResources();
    setObjectName("helpWindow");
    setWindowTitle(HelpTitle());
    m_browser->setObjectName("helpBrowser");
    m_browser->setOpenExternalLinks(true);
    m_browser->setSearchPaths({QStringLiteral(":/help")});

    auto* tools = new QToolBar(this);
    tools->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    QAction* back = tools->addAction(style()->standardIcon(QStyle::SP_ArrowBack), QStringLiteral("&Back"));
    QAction* forward = tools->addAction(style()->standardIcon(QStyle::SP_ArrowForward), QStringLiteral("&Forward"));
    QAction* contents = tools->addAction(style()->standardIcon(QStyle::SP_DirHomeIcon), QStringLiteral("&Contents"));
    back->setEnabled(false);
    forward->setEnabled(false);
    back->setShortcut(QKeySequence::Back);
    forward->setShortcut(QKeySequence::Forward);
    connect(back, &QAction::triggered, m_browser, &QTextBrowser::backward);
    connect(forward, &QAction::triggered, m_browser, &QTextBrowser::forward);
    connect(contents, &QAction::triggered, this, [this] { ShowTopic(QString()); });
    connect(m_browser, &QTextBrowser::backwardAvailable, back, &QAction::setEnabled);
    connect(m_browser, &QTextBrowser::forwardAvailable, forward, &QAction::setEnabled);

    tools->addSeparator();
    m_find = new QLineEdit(tools);
    m_find->setObjectName("helpFind");
    m_find->setPlaceholderText(QStringLiteral("Find in page (Ctrl+F)"));
    m_find->setClearButtonEnabled(true);
    m_find->setMaximumWidth(240);
    tools->addWidget(m_find);
    m_findResult = new QLabel(tools);
    m_findResult->setObjectName("helpFindResult");
    m_findResult->setContentsMargins(6, 0, 6, 0);
    tools->addWidget(m_findResult);
    connect(m_find, &QLineEdit::returnPressed, this,
            [this] { FindNext(QGuiApplication::keyboardModifiers().testFlag(Qt::ShiftModifier)); });
    connect(m_find, &QLineEdit::textEdited, m_findResult, &QLabel::clear);
    auto* find = new QShortcut(QKeySequence::Find, this);
    connect(find, &QShortcut::activated, this, [this] {
        m_find->setFocus(Qt::ShortcutFocusReason);
        m_find->selectAll();
    });
    auto* next = new QShortcut(QKeySequence::FindNext, this);
    connect(next, &QShortcut::activated, this, [this] { FindNext(false); });
    auto* previous = new QShortcut(QKeySequence::FindPrevious, this);
    connect(previous, &QShortcut::activated, this, [this] { FindNext(true); });
    for (const QKeySequence& key : {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)}) {
        auto* close = new QShortcut(key, this);
        connect(close, &QShortcut::activated, this, &QWidget::close);
    }

    connect(m_browser, &QTextBrowser::sourceChanged, this, [this] {
        const QString title = m_browser->documentTitle();
        setWindowTitle(title.isEmpty() ? HelpTitle() : QStringLiteral("%1 - %2").arg(HelpTitle(), title));
    });

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(tools);
    layout->addWidget(m_browser);
    resize(720, 560);
}

void CHelpWindow::ShowTopic(const QString& topic) {
    const QUrl url(kHelpRoot + (topic.isEmpty() ? QString::fromLatin1(kContents) : topic));
    m_browser->setSource(url);
    // The same page again with another anchor reloads nothing; scroll there all the same.
    if (url.hasFragment()) {
        m_browser->scrollToAnchor(url.fragment());
    }
    show();
    raise();
    activateWindow();
}

bool CHelpWindow::FindNext(bool backward) {
    const QString text = m_find->text();
    if (text.isEmpty()) {
        m_findResult->clear();
        return false;
    }
    const QTextDocument::FindFlags flags = backward ? QTextDocument::FindBackward : QTextDocument::FindFlags();
    bool found = m_browser->find(text, flags);
    if (!found) {
        // Round past the end (or the start) once.
        QTextCursor cursor = m_browser->textCursor();
        cursor.movePosition(backward ? QTextCursor::End : QTextCursor::Start);
        m_browser->setTextCursor(cursor);
        found = m_browser->find(text, flags);
    }
    m_findResult->setText(found ? QString() : QStringLiteral("Not found"));
    return found;
}

QString CHelpWindow::CurrentTopic() const {
    const QUrl source = m_browser->source();
    QString topic = source.fileName();
    if (source.hasFragment()) {
        topic += QLatin1Char('#') + source.fragment();
    }
    return topic;
}

}  // namespace rm7
