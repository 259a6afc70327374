#include "app/main_frame.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QResizeEvent>
#include <QScreen>
#include <QShortcut>
#include <QStatusBar>
#include <QTimer>

#include "app/help_window.h"
#include "app/tab_view.h"
#include "firmware/ui/release_notes_dialog.h"
#include "link/contact.h"
#include "model/radio_presence.h"
#include "platform/format.h"
#include "platform/program_version.h"
#include "platform/serial_enum.h"
#include "platform/settings.h"
#include "platform/text.h"
#include "platform/version.h"
#include "ui/message_box.h"
#include "ui/qt_text.h"

namespace rm7 {

// The one pane of the status bar. Status texts can be long (an access-denied text with its
// hint): the pane shortens them with an ellipsis, the tooltip holds the whole text, and the
// window never grows to fit one.
class CStatusLabel final : public QLabel {
  public:
    using QLabel::QLabel;
    void SetFullText(const QString& text) {
        m_full = text;
        setToolTip(text);
        Elide();
    }
    const QString& FullText() const { return m_full; }
    QSize minimumSizeHint() const override { return {0, QLabel::minimumSizeHint().height()}; }
    QSize sizeHint() const override { return {0, QLabel::sizeHint().height()}; }

  protected:
    void resizeEvent(QResizeEvent* event) override {
        QLabel::resizeEvent(event);
        Elide();
    }

  private:
    void Elide() { setText(fontMetrics().elidedText(m_full, Qt::ElideRight, std::max(0, contentsRect().width()))); }

    QString m_full;
};

namespace {

// The indicator's lamp, as on a radio's front panel: found, waiting for firmware, nothing
// answering, no port.
QColor IndicatorColour(RadioPresence presence) {
    switch (presence) {
        case RadioPresence::kRunning:
            return QColor(0x2e, 0x9e, 0x44);
        case RadioPresence::kBootLoader:
            return QColor(0xd0, 0x8a, 0x00);
        case RadioPresence::kNoRadio:
            return QColor(0xc0, 0x39, 0x2b);
        case RadioPresence::kPortClosed:
            break;
    }
    return QApplication::palette().color(QPalette::Disabled, QPalette::WindowText);
}

}  // namespace

CMainFrame::CMainFrame(CRadioSession& session, CSettingsStore* settings, RunOverrides run, QWidget* parent)
    : QMainWindow(parent), m_session(session), m_model(session.Model()), m_settings(settings), m_run(std::move(run)) {
    setObjectName("mainFrame");

    // 1. The status bar: the message pane, and the radio's state always at the right.
    m_status = new CStatusLabel(this);
    m_status->setObjectName("statusText");
    m_status->SetFullText(QStringLiteral("Ready"));
    statusBar()->addWidget(m_status, 1);
    m_indicator = new QLabel(this);
    m_indicator->setObjectName("radioIndicator");
    m_indicator->setContentsMargins(6, 0, 6, 0);
    m_indicator->setTextFormat(Qt::RichText);
    statusBar()->addPermanentWidget(m_indicator);

    // 2. The core speaks to the user through this window; the port reports its failures here.
    m_session.SetNotifier(this);

    // 3. The settings; a port, folder or server given for this run stands in for the saved one.
    m_model.LoadSettings();
    m_savedPort = m_model.portName.Get();
    m_savedFolder = m_model.firmwareFolder.Get();
    if (!m_run.port.empty()) {
        m_model.portName.Set(m_run.port);
    }
    if (!m_run.firmwareFolder.empty()) {
        m_model.firmwareFolder.Set(m_run.firmwareFolder);
    }
    m_model.fileServerForRun = m_run.fileServer;
    m_model.backupFolderForRun = m_run.backupFolder;

    // 4, 5. Menus with their check marks, and the technician's port menu.
    CreateMenus();

    // 6, 7. The pages; the saved page only when a port was saved and the page exists.
    m_tabView = new CTabView(
        m_session, [this](const QString& topic) { ShowHelp(topic); }, this);
    setCentralWidget(m_tabView);
    // Only the pane: the page being selected is not told the frame's own line as its text.
    m_tabView->onPageLeft = [this] { m_status->SetFullText(Text(StatusLine(FrameStatusText(m_model)))); };
    if (!m_tabView->SelectPage(InitialPage(m_model.activePage.Get(), m_savedPort))) {
        m_tabView->SelectPage(kPagePort);
    }

    // 8. Observe the radio's values; each tells at once, so title and status start right.
    m_registering = true;
    m_firmwareStatus = CObservation(m_model.firmwareStatus, this);
    m_portEvent = CObservation(m_model.portEvent, this);
    m_serialNumber = CObservation(m_model.serialNumber, this);
    m_portName = CObservation(m_model.portName, this);
    m_serialSpeed = CObservation(m_model.serialSpeed, this);
    // The title says "closed" also when closing changes nothing else (no radio was known yet).
    m_portState = CObservation(m_model.portState, this);
    m_firmwareVersions = CObservation(m_model.firmwareVersions, this);
    m_advancedModeSeen = CObservation(m_model.advancedMode, this);
    m_model.firmwareStatus.Notify(this);
    m_model.portEvent.Notify(this);
    m_model.serialNumber.Notify(this);
    m_model.portName.Notify(this);
    m_model.serialSpeed.Notify(this);
    m_registering = false;

    // 9. Look for the radio.
    m_session.Contact().StartAtOpenPort();
}

CMainFrame::~CMainFrame() {
    OnClose();
    if (m_help != nullptr) {
        delete m_help;
    }
    if (m_releaseNotes != nullptr) {
        delete m_releaseNotes;
    }
    // The window is going: nothing may open a box on it any more.
    m_session.SetNotifier(nullptr);
    m_session.ClosePort();
    // This run's port is not the user's choice of port; this run's folder, whatever was chosen
    // while it was in use, leaves the saved one as it was.
    if (!m_run.port.empty() && m_model.portName.Get() == m_run.port) {
        m_model.portName.Set(m_savedPort);
    }
    if (!m_run.firmwareFolder.empty()) {
        m_model.firmwareFolder.Set(m_savedFolder);
    }
    m_model.SaveSettings();
    if (m_settings != nullptr && m_placement.has_value() && SavePlacement(*m_settings, *m_placement) == kOk) {
        m_settings->Save();
    }
    m_model.Pump().Forget(this);
}

void CMainFrame::CreateMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    QAction* quit = file->addAction(QIcon::fromTheme(QStringLiteral("application-exit")), QStringLiteral("&Quit"));
    quit->setObjectName("quitAction");
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));  // shown by the toolkit, not typed into the text
    quit->setMenuRole(QAction::QuitRole);
    connect(quit, &QAction::triggered, this, &QWidget::close);

    if (m_model.technicianTxGainCalibration.Get() != 0) {
        m_portMenu = menuBar()->addMenu(QStringLiteral("&Port"));
        m_portMenu->setObjectName("portMenu");
        connect(m_portMenu, &QMenu::aboutToShow, this, &CMainFrame::FillPortMenu);
        FillPortMenu();
    }

    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    connect(view, &QMenu::aboutToShow, this, &CMainFrame::RefreshChecks);
    m_advancedMode = view->addAction(QStringLiteral("&Advanced Mode"));
    m_advancedMode->setObjectName("advancedModeAction");
    m_statusBarShown = view->addAction(QStringLiteral("&Status Bar"));
    m_statusBarShown->setObjectName("statusBarAction");
    m_trace = view->addAction(QStringLiteral("&Trace"));
    m_trace->setObjectName("traceAction");
    m_verboseLogging = view->addAction(QStringLiteral("&Verbose Logging"));
    m_verboseLogging->setObjectName("verboseLoggingAction");
    for (QAction* action : {m_advancedMode, m_statusBarShown, m_trace, m_verboseLogging}) {
        action->setCheckable(true);
    }
    m_statusBarShown->setChecked(true);
    RefreshChecks();
    connect(m_advancedMode, &QAction::triggered, this, [this](bool on) { m_model.advancedMode.Set(on ? 1 : 0); });
    connect(m_statusBarShown, &QAction::triggered, statusBar(), &QWidget::setVisible);
    connect(m_trace, &QAction::triggered, this, [this](bool on) { m_model.trace.Set(on ? 1 : 0); });
    connect(m_verboseLogging, &QAction::triggered, this, [this](bool on) { m_model.verboseLogging.Set(on ? 1 : 0); });

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    QAction* contents = help->addAction(Text(StrFormat("%s Utility &Help", kModelName)) + QStringLiteral("\tF1"));
    contents->setObjectName("helpAction");
    connect(contents, &QAction::triggered, this, [this] { ShowHelp(QString()); });
    QAction* notes = help->addAction(Text(StrFormat("%s Firmware &Release Notes", kModelName)));
    notes->setObjectName("releaseNotesAction");
    connect(notes, &QAction::triggered, this, &CMainFrame::ShowReleaseNotes);
    help->addSeparator();
    QAction* about = help->addAction(Text(StrFormat("&About %s Utility", kModelName)));
    about->setObjectName("aboutAction");
    connect(about, &QAction::triggered, this, [this] {
        QMessageBox::about(
            this, Text(StrFormat("About %s", kProductName)),
            Text(StrFormat("<p><b>%s</b><br>Version %s</p>"
                           "<p>Finds the %s transceiver on a serial port, shows its firmware versions and serial "
                           "number, and looks after its firmware and settings.</p>"
                           "<p>%s<br>%s<br>%s</p>",
                           kProductName, ProgramVersionText().c_str(), kModelName, kCopyrightLine, kLicenceLine,
                           kLicenceTextLine)));
    });

    // F1 opens the help at the selected page's topic; the menu item opens the contents.
    auto* f1 = new QShortcut(QKeySequence::HelpContents, this);
    connect(f1, &QShortcut::activated, this, [this] {
        const CPage* page = m_tabView != nullptr ? m_tabView->CurrentPage() : nullptr;
        ShowHelp(page != nullptr ? page->HelpTopic() : QString());
    });
}

void CMainFrame::FillPortMenu() {
    m_portMenu->clear();
    auto* group = new QActionGroup(m_portMenu);
    for (const PortMenuItem& item : PortMenuItems(EnumerateSerialDevices())) {
        QAction* action = m_portMenu->addAction(Text(item.label));
        action->setData(item.command);
        action->setCheckable(true);
        action->setChecked(item.port == m_model.portName.Get());
        group->addAction(action);
        connect(action, &QAction::triggered, this, [this, port = item.port] { m_model.portName.Set(port); });
    }
}

void CMainFrame::RefreshChecks() {
    m_advancedMode->setChecked(m_model.advancedMode.Get() != 0);
    m_trace->setChecked(m_model.trace.Get() != 0);
    m_verboseLogging->setChecked(m_model.verboseLogging.Get() != 0);
    m_statusBarShown->setChecked(!statusBar()->isHidden());
}

LResult CMainFrame::OnMessage(std::uint32_t code, WParam, LParam lParam) {
    switch (code) {
        case kMsgStatusText:
            if (lParam != 0) {
                SetStatus(*reinterpret_cast<const std::string*>(lParam));
            }
            break;
        case kMsgPortName:
            UpdateTitleAndStatus();
            if (!m_registering) {
                OnPortNameChanged(m_session);
            }
            break;
        case kMsgPortEvent:
            UpdateTitleAndStatus();
            if (!m_registering && m_transmitOffer.ShouldAsk(m_model, m_session)) {
                // Not from inside the radio's callback: the question waits for the event loop.
                QTimer::singleShot(0, this, [this] { AskSwitchToReceive(); });
            }
            break;
        case kMsgFirmwareStatus:
        case kMsgFirmwareVersions:
        case kMsgSerialNumber:
        case kMsgSerialSpeed:
        case kMsgPortState:
            UpdateTitleAndStatus();
            break;
        case kMsgAdvancedMode:
            RefreshChecks();
            break;
        default:
            break;
    }
    return 0;
}

void CMainFrame::UpdateTitleAndStatus() {
    setWindowTitle(Text(FrameTitle(m_model)));
    // One contact changes the status, the serial number and the speed one after the other: the
    // radio's line is said (and logged on the Firmware page) once, not once for each.
    const std::string text = FrameStatusText(m_model);
    if (Text(StatusLine(text)) != m_status->FullText()) {
        SetStatus(text);
    }
    const RadioIndicator indicator = RadioIndicatorOf(m_model);
    m_indicatorText = Text(indicator.text);
    m_indicator->setText(QStringLiteral("<span style=\"color:%1\">\u25CF</span>&nbsp;%2")
                             .arg(IndicatorColour(indicator.presence).name(), m_indicatorText.toHtmlEscaped()));
    m_indicator->setToolTip(Text(indicator.toolTip));
}

QString CMainFrame::IndicatorText() const {
    return m_indicatorText;
}

void CMainFrame::SetStatus(const std::string& text) {
    m_status->SetFullText(Text(StatusLine(text)));
    CPage* page = m_tabView != nullptr ? m_tabView->CurrentPage() : nullptr;
    if (page != nullptr && page->Index() == kPageFirmware) {
        m_model.Pump().Send(page, kMsgFirmwarePageText, 0, reinterpret_cast<LParam>(&text));
    }
}

QString CMainFrame::StatusBarText() const {
    return m_status->FullText();
}

void CMainFrame::StatusText(const std::string& text) {
    m_model.Pump().Send(this, kMsgStatusText, 0, reinterpret_cast<LParam>(&text));
}

void CMainFrame::MessageBox(const std::string& caption, const std::string& text, MessageIcon icon) {
    StatusText(text);
    // Opened and left: no nested loop, so the radio's conversation goes on behind the box.
    auto* box = new QMessageBox(BoxIcon(icon), Text(caption), BoxText(text), QMessageBox::Ok, this);
    box->setObjectName("messageBox");
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

bool CMainFrame::AskYesNo(const std::string& caption, const std::string& text, MessageIcon icon) {
    // Asked before a job starts, never from a radio callback: a modal question is safe here.
    return AskYesNoBox(this, caption, text, icon);
}

void CMainFrame::AskSwitchToReceive() {
    if (m_closed) {
        return;
    }
    auto* box = new QMessageBox(QMessageBox::Warning, Text(kTransmittingCaption), BoxText(kTransmittingQuestion),
                                QMessageBox::Yes | QMessageBox::No, this);
    box->setObjectName("transmitQuestion");
    box->setDefaultButton(QMessageBox::Yes);
    box->setAttribute(Qt::WA_DeleteOnClose);
    connect(box, &QMessageBox::finished, this, [this](int result) {
        if (result == QMessageBox::Yes && !SwitchToReceive(m_session)) {
            MessageBox(kTransmittingCaption,
                       "The radio is busy with a job: switch it to receive when the job has ended.",
                       MessageIcon::Warning);
        }
    });
    box->open();
}

void CMainFrame::ShowHelp(const QString& topic) {
    if (m_help == nullptr) {
        m_help = new CHelpWindow(this);
    }
    m_help->ShowTopic(topic);
}

void CMainFrame::setVisible(bool visible) {
    if (visible && !m_shown && !m_closed) {
        m_shown = true;
        ApplyPlacement();
    }
    QMainWindow::setVisible(visible);
}

void CMainFrame::ApplyPlacement() {
    // The rule's share for the frame's own parts is too small for the menu and status bars
    // of every style: the frame never gets smaller than what it holds either.
    const QSize tab = m_tabView->sizeHint();
    const FrameSize rule = MinimumFrameSize(tab.width(), tab.height());
    const int chrome = menuBar()->sizeHint().height() + statusBar()->sizeHint().height();
    const QSize minimum = QSize(rule.width, rule.height)
                              .expandedTo(QSize(tab.width(), tab.height() + chrome))
                              .expandedTo(minimumSizeHint());
    setMinimumSize(minimum);

    const std::optional<WindowPlacement> placement =
        m_settings != nullptr ? LoadPlacement(*m_settings) : std::optional<WindowPlacement>();
    if (!placement.has_value()) {
        resize(minimum);
        return;
    }
    const QRect rect(placement->left, placement->top, placement->right - placement->left,
                     placement->bottom - placement->top);
    // A screen that is gone since: keep the size, let the window system place the window.
    bool onScreen = false;
    for (const QScreen* screen : QGuiApplication::screens()) {
        onScreen = onScreen || screen->availableGeometry().intersects(rect);
    }
    if (onScreen) {
        setGeometry(rect);
    } else {
        resize(rect.size());
    }
    if (placement->OpensMaximized()) {
        setWindowState(windowState() | Qt::WindowMaximized);
    }
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    OnClose();
    event->accept();
}

void CMainFrame::OnClose() {
    if (m_closed) {
        return;
    }
    m_closed = true;
    m_firmwareStatus.Reset();
    m_portEvent.Reset();
    m_serialNumber.Reset();
    m_portName.Reset();
    m_serialSpeed.Reset();
    m_portState.Reset();
    m_firmwareVersions.Reset();
    m_advancedModeSeen.Reset();
    if (m_tabView != nullptr) {
        m_model.activePage.Set(m_tabView->CurrentPageIndex());
        delete m_tabView;
        m_tabView = nullptr;
    }
    if (m_shown) {
        const QRect normal = normalGeometry().isValid() ? normalGeometry() : geometry();
        const Qt::WindowStates state = windowState();
        m_placement = MakePlacement(normal.x(), normal.y(), normal.width(), normal.height(),
                                    state.testFlag(Qt::WindowMaximized), state.testFlag(Qt::WindowMinimized),
                                    state.testFlag(Qt::WindowMinimized) && state.testFlag(Qt::WindowMaximized));
    }
}

void CMainFrame::ShowReleaseNotes() {
    if (m_releaseNotes != nullptr) {
        delete m_releaseNotes;
    }
    DialogPrompts prompts;
    prompts.show = [this](QWidget*, const std::string& caption, const std::string& text, MessageIcon icon) {
        MessageBox(caption, text, icon);
    };
    m_releaseNotes = CReleaseInfoDlg::Open(m_model.firmwareFolder.Get(), this, prompts);
}

}  // namespace rm7
