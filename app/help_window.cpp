#include "app/help_window.h"

#include <QAction>
#include <QStyle>
#include <QTextBrowser>
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

QString CHelpWindow::CurrentTopic() const {
    const QUrl source = m_browser->source();
    QString topic = source.fileName();
    if (source.hasFragment()) {
        topic += QLatin1Char('#') + source.fragment();
    }
    return topic;
}

}  // namespace rm7
