#include "firmware/ui/firmware_page.h"

#include <QAction>
#include <QCheckBox>
#include <QFileDialog>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTextEdit>
#include <QTime>
#include <QVBoxLayout>

#include "firmware/file_version.h"
#include "firmware/ui/ftp_dialog.h"
#include "firmware/ui/loader_dialog.h"
#include "link/contact.h"
#include "platform/format.h"
#include "platform/settings.h"
#include "platform/text.h"
#include "platform/version.h"
#include "ui/page_index.h"
#include "ui/qt_text.h"
#include "ui/radio_action.h"

namespace rm7 {

namespace {

// Longer than any path the system takes: a folder chosen by "Browse..." must never be cut
// short in the edit and then taken back from it.
constexpr int kFolderEditLimit = 4096;
constexpr int kActivityLogLimit = 0x200000;

QPushButton* Button(const char* text, const char* name, QWidget* parent) {
    auto* button = new QPushButton(QString::fromLatin1(text), parent);
    button->setObjectName(QString::fromLatin1(name));
    return button;
}

}  // namespace

CFirmwarePage::CFirmwarePage(CRadioSession& session, QWidget* parent)
    : CPage(session, parent), m_loadCheckbox(session.Pump(), kMsgLoadCheckbox, kLoadCheckboxName, 0) {
    setObjectName("firmwarePage");
    if (Model().Settings() != nullptr) {
        m_loadCheckbox.Load(*Model().Settings());
    }
    m_runLoader = [this](LoaderPart part, const std::filesystem::path& file, bool backupFirst) {
        CLoaderDlg dialog(Session(), part, file, this, DialogPrompts::Qt(), backupFirst);
        return dialog.exec();
    };
    m_runCopy = [this](const std::filesystem::path& folder, const FolderContents& contents) {
        CFtpDlg dialog(Session().Pump(), folder, contents, ChosenFileServer(Model()), Model().trace.Get() != 0,
                       DialogPrompts::Qt(), this);
        return dialog.exec();
    };

    // Folder Location
    auto* folderGroup = new QGroupBox(QStringLiteral("Folder Location"), this);
    m_folderEdit = new QLineEdit(folderGroup);
    m_folderEdit->setObjectName("folderEdit");
    m_folderEdit->setMaxLength(kFolderEditLimit);
    m_default = Button("Default", "defaultFolder", folderGroup);
    m_default->setToolTip(Text(DefaultFolderTip(Model().DefaultFirmwareFolder())));
    m_browse = Button("Browse...", "browseFolder", folderGroup);
    m_browse->setToolTip(QStringLiteral("Browse to another folder"));
    auto* folderLayout = new QGridLayout(folderGroup);
    folderLayout->addWidget(new QLabel(QStringLiteral("Local folder for firmware files:"), folderGroup), 0, 0, 1, 3);
    folderLayout->addWidget(m_folderEdit, 1, 0);
    folderLayout->addWidget(m_default, 1, 1);
    folderLayout->addWidget(m_browse, 1, 2);
    folderLayout->setColumnStretch(0, 1);

    // Check for New Files
    auto* checkGroup = new QGroupBox(QStringLiteral("Check for New Files"), this);
    m_checkVersions = Button("Check Versions Now", "checkVersions", checkGroup);
    m_checkVersions->setToolTip(Text(CheckVersionsTip()));
    m_copy = Button("Copy New Files from Tarnwell", "copyNewFiles", checkGroup);
    m_copy->setToolTip(QStringLiteral("Get new firmware from Tarnwell file server"));
    auto* checkLayout = new QVBoxLayout(checkGroup);
    checkLayout->addWidget(m_checkVersions);
    checkLayout->addWidget(m_copy);
    checkLayout->addStretch(1);

    // Firmware Versions
    auto* versionsGroup = new QGroupBox(QStringLiteral("Firmware Versions"), this);
    // A compact table at the top of the box: its rows keep their height however tall the page is.
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(16);
    grid->setVerticalSpacing(4);
    QFont headerFont = font();
    headerFont.setBold(true);
    auto* installedHeader = new QLabel(Text(InstalledHeaderText()), versionsGroup);
    auto* availableHeader = new QLabel(QStringLiteral("Available"), versionsGroup);
    m_loadHeader = new QLabel(QStringLiteral("Load"), versionsGroup);
    for (QLabel* header : {installedHeader, availableHeader, m_loadHeader}) {
        header->setFont(headerFont);
    }
    grid->addWidget(installedHeader, 0, 1, Qt::AlignHCenter);
    grid->addWidget(availableHeader, 0, 2, Qt::AlignHCenter);
    m_loadHeader->setObjectName("loadHeader");
    grid->addWidget(m_loadHeader, 0, 3, Qt::AlignHCenter);
    const char* partNames[kFirmwareKindCount] = {kMcuPartName, kDspPartName};
    const char* objectNames[kFirmwareKindCount] = {"mcu", "dsp"};
    for (std::size_t kind = 0; kind < kFirmwareKindCount; ++kind) {
        const int row = static_cast<int>(kind) + 1;
        const QString part = QString::fromLatin1(partNames[kind]);
        const QString name = QString::fromLatin1(objectNames[kind]);
        m_installed[kind] = new QLabel(QStringLiteral("??.??"), versionsGroup);
        m_installed[kind]->setObjectName(name + QStringLiteral("Installed"));
        m_available[kind] = new QLabel(QStringLiteral("??.??"), versionsGroup);
        m_available[kind]->setObjectName(name + QStringLiteral("Available"));
        m_loadBox[kind] = new QCheckBox(part, versionsGroup);
        m_loadBox[kind]->setObjectName(name + QStringLiteral("Load"));
        grid->addWidget(new QLabel(part, versionsGroup), row, 0);
        grid->addWidget(m_installed[kind], row, 1, Qt::AlignHCenter);
        grid->addWidget(m_available[kind], row, 2, Qt::AlignHCenter);
        grid->addWidget(m_loadBox[kind], row, 3, Qt::AlignHCenter);
        const unsigned long bit = kind == kKindMcu ? kLoadMcuBit : kLoadDspBit;
        connect(m_loadBox[kind], &QCheckBox::clicked, this, [this, bit](bool checked) {
            m_loadCheckbox.Set(checked ? (m_loadCheckbox.Get() | bit) : (m_loadCheckbox.Get() & ~bit));
        });
    }
    m_sendFirst = Button(StrFormat("Send All Firmware to %s", kModelName).c_str(), "sendFirst", versionsGroup);
    m_sendNewer = Button(StrFormat("Send New Firmware to %s", kModelName).c_str(), "sendNewer", versionsGroup);
    auto* versionsLayout = new QVBoxLayout(versionsGroup);
    versionsLayout->addLayout(grid);
    versionsLayout->addSpacing(8);
    versionsLayout->addWidget(m_sendFirst);
    versionsLayout->addWidget(m_sendNewer);
    versionsLayout->addStretch(1);

    // Activity Log
    auto* logGroup = new QGroupBox(QStringLiteral("Activity Log"), this);
    m_log = new QTextEdit(logGroup);
    m_log->setObjectName("activityLog");
    m_log->setReadOnly(true);
    // A narrow pane: long lines wrap rather than scroll sideways out of sight.
    m_log->setLineWrapMode(QTextEdit::WidgetWidth);
    m_log->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    auto* logLayout = new QVBoxLayout(logGroup);
    logLayout->addWidget(m_log);

    auto* top = new QHBoxLayout;
    top->addWidget(folderGroup, 2);
    top->addWidget(checkGroup, 1);
    auto* middle = new QHBoxLayout;
    middle->addWidget(versionsGroup, 0);
    middle->addWidget(logGroup, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(middle, 1);

    connect(m_default, &QPushButton::clicked, this,
            [this] { Model().firmwareFolder.Set(Model().DefaultFirmwareFolder().string()); });
    connect(m_browse, &QPushButton::clicked, this, [this] {
        const QString chosen = QFileDialog::getExistingDirectory(
            this, Text(BrowseTitle()), Text(Model().firmwareFolder.Get()), QFileDialog::ShowDirsOnly);
        if (!chosen.isEmpty()) {
            Model().firmwareFolder.Set(chosen.toStdString());
        }
    });
    connect(m_folderEdit, &QLineEdit::editingFinished, this, &CFirmwarePage::SetFolderFromEdit);
    connect(m_checkVersions, &QPushButton::clicked, this, &CFirmwarePage::CheckVersionsNow);
    connect(m_copy, &QPushButton::clicked, this, &CFirmwarePage::CopyNewFiles);
    connect(m_sendFirst, &QPushButton::clicked, this, [this] { SendFirmware(SendButton::AllOrChecked); });
    connect(m_sendNewer, &QPushButton::clicked, this, [this] { SendFirmware(SendButton::Newer); });

    for (const std::string& line : LoaderInitialLines(Model())) {
        // The radio's line is the installed column's business here.
        if (line != Model().McuVersionText()) {
            AppendLog(line);
        }
    }
    m_folderEdit->setText(Text(Model().firmwareFolder.Get()));
    ShowAdvancedMode();
}

CFirmwarePage::~CFirmwarePage() {
    // The edit loses its focus as the window goes, after this page is gone: its end of editing
    // must not reach the page then.
    disconnect(m_folderEdit, nullptr, this, nullptr);
    OnKillActive();
    if (Model().Settings() != nullptr) {
        m_loadCheckbox.Save(*Model().Settings());
    }
}

int CFirmwarePage::Index() const {
    return kPageFirmware;
}

QWidget* CFirmwarePage::InitialFocus() {
    return m_checkVersions;
}

void CFirmwarePage::OnSetActive() {
    CModel& model = Model();
    m_registering = true;
    m_advancedModeSeen = CObservation(model.advancedMode, this);
    m_folderSeen = CObservation(model.firmwareFolder, this);
    m_statusSeen = CObservation(model.firmwareStatus, this);
    m_versionsSeen = CObservation(model.firmwareVersions, this);
    m_loadCheckboxSeen = CObservation(m_loadCheckbox, this);
    model.advancedMode.Notify(this);
    // The folder's answer scans it (RefreshAvailable): a second scan here would say again that
    // the folder lacks its files.
    model.firmwareFolder.Notify(this);
    model.firmwareStatus.Notify(this);
    model.firmwareVersions.Notify(this);
    m_loadCheckbox.Notify(this);
    m_registering = false;
}

void CFirmwarePage::OnKillActive() {
    m_advancedModeSeen.Reset();
    m_folderSeen.Reset();
    m_statusSeen.Reset();
    m_versionsSeen.Reset();
    m_loadCheckboxSeen.Reset();
}

LResult CFirmwarePage::OnMessage(std::uint32_t code, WParam wParam, LParam lParam) {
    switch (code) {
        case kMsgAdvancedMode:
            ShowAdvancedMode();
            break;
        case kMsgFirmwareFolder:
            if (m_folderEdit->text() != Text(Model().firmwareFolder.Get())) {
                m_folderEdit->setText(Text(Model().firmwareFolder.Get()));
            }
            RefreshAvailable();
            OfferReleaseNotes();
            break;
        case kMsgFirmwareStatus:
            UpdateButtons();
            OfferReleaseNotes();
            break;
        case kMsgFirmwareVersions:
            if (wParam < kFirmwareKindCount) {
                m_installed[wParam]->setText(Text(Model().FirmwareVersionText(wParam)));
            }
            UpdateButtons();
            break;
        case kMsgLoadCheckbox:
            for (std::size_t kind = 0; kind < kFirmwareKindCount; ++kind) {
                m_loadBox[kind]->setChecked(DecideButtons(State()).loadBoxChecked[kind]);
            }
            UpdateButtons();
            break;
        case kMsgFirmwarePageText:
            if (lParam != 0) {
                AppendLog(*reinterpret_cast<const std::string*>(lParam));
            }
            break;
        default:
            break;
    }
    return 0;
}

FirmwarePageState CFirmwarePage::State() const {
    return PageStateFromModel(Model(), m_folder, m_loadCheckbox.Get());
}

void CFirmwarePage::RefreshAvailable() {
    m_folder = ScanFolder(Model().firmwareFolder.Get());
    for (std::size_t kind = 0; kind < kFirmwareKindCount; ++kind) {
        m_available[kind]->setText(Text(AvailableText(m_folder.files[kind])));
    }
    // Said once for a folder: a visit to the page, or a look before a send, does not say it again
    // until the folder changes or has had its files.
    if (m_folder.Mcu().Found()) {
        m_missingToldFor.reset();
    } else if (m_missingToldFor != Model().firmwareFolder.Get()) {
        m_missingToldFor = Model().firmwareFolder.Get();
        Model().StatusText(kFolderMissingFilesText);
    }
    UpdateButtons();
}

void CFirmwarePage::CopyNewFiles() {
    RefreshAvailable();
    m_runCopy(Model().firmwareFolder.Get(), m_folder);
    Model().StatusText("Ready");
    // The copy was asked for: what it left missing is said again.
    m_missingToldFor.reset();
    RefreshAvailable();
}

void CFirmwarePage::UpdateButtons() {
    const FirmwareButtons b = DecideButtons(State());
    m_loadHeader->setEnabled(b.loadHeaderEnabled);
    for (std::size_t kind = 0; kind < kFirmwareKindCount; ++kind) {
        m_loadBox[kind]->setEnabled(b.loadBoxEnabled[kind]);
    }
    // Nothing more may start while a send runs its dialogs. A button that is off says why.
    const std::string sending = m_sending ? "A firmware send is running" : std::string();
    ApplyRadioNeed(m_sendFirst, Model(), RadioNeed::kAnswer, sending.empty() ? b.sendFirstBlocker : sending);
    ApplyRadioNeed(m_sendNewer, Model(), RadioNeed::kAnswer, sending.empty() ? b.sendNewerBlocker : sending);
}

void CFirmwarePage::ShowAdvancedMode() {
    const FirmwareButtons b = DecideButtons(State());
    m_loadHeader->setVisible(b.loadControlsShown);
    for (QCheckBox* box : m_loadBox) {
        box->setVisible(b.loadControlsShown);
    }
    m_sendFirst->setText(Text(b.sendFirstText));
    m_sendNewer->setText(Text(b.sendNewerText));
    UpdateButtons();
}

void CFirmwarePage::SendFirmware(SendButton button) {
    if (m_sending) {
        return;
    }
    // What the folder holds now, not what it held when last looked at.
    RefreshAvailable();
    const SendPlan plan = PlanSend(State(), button);
    if (plan.refused) {
        if (!plan.logLine.empty()) {
            AppendLog(plan.logLine);
        }
        m_sendFirst->setEnabled(false);
        m_sendNewer->setEnabled(false);
        if (!plan.boxText.empty()) {
            Model().MessageBox("Error", plan.boxText, MessageIcon::Error);
        }
        return;
    }
    const std::uint32_t start = Model().Pump().TickCount();
    Model().StatusText(SendingText(Model().firmwareFolder.Get()));
    m_sending = true;
    UpdateButtons();
    int mcuResult = kLoaderDialogLoaded;
    int dspResult = kLoaderDialogLoaded;
    bool mcuSent = false;
    bool dspSent = false;
    if (plan.mcu) {
        mcuSent = true;
        mcuResult = m_runLoader(LoaderPart::Mcu, plan.mcuFile, true);
    }
    // After the MCU load the radio was contacted again: what it tells now judges the DSP.
    if (mcuResult == kLoaderDialogLoaded && DspStillWanted(plan, Model().firmwareVersions.Get(kKindDsp))) {
        dspSent = true;
        dspResult = m_runLoader(LoaderPart::Dsp, plan.dspFile, !mcuSent);
    }
    // Said once, at the end: what was loaded (in the versions the radio now tells), or that the
    // send was stopped or failed; the time only for a send that was done.
    if (mcuResult == kLoaderDialogLoaded && dspResult == kLoaderDialogLoaded) {
        Model().StatusText(LoadedText(mcuSent ? Model().FirmwareVersionText(kKindMcu) : std::string(),
                                      dspSent ? Model().FirmwareVersionText(kKindDsp) : std::string()));
        Model().StatusText(ElapsedText(Model().Pump().TickCount() - start));
    } else if (mcuResult == kLoaderDialogCancelled || dspResult == kLoaderDialogCancelled) {
        Model().StatusText(kFirmwareSendCancelledText);
    } else {
        Model().StatusText(kFirmwareSendFailedText);
    }
    m_sending = false;
    UpdateButtons();
}

void CFirmwarePage::CheckVersionsNow() {
    m_missingToldFor.reset();
    RefreshAvailable();
    Model().firmwareVersions.Set(kKindMcu, 0);
    Model().firmwareVersions.Set(kKindDsp, 0);
    Session().Contact().StartAtOpenPort();
}

void CFirmwarePage::SetFolderFromEdit() {
    const std::string folder = TrimFolderText(m_folderEdit->text().toStdString());
    if (folder != Model().firmwareFolder.Get()) {
        Model().firmwareFolder.Set(folder);
    } else {
        m_folderEdit->setText(Text(folder));
    }
}

void CFirmwarePage::OfferReleaseNotes() {
    const FirmwarePageState state = State();
    const QWidget* frame = window();
    if (!ShouldOfferReleaseNotes(state, frame != nullptr && frame->isVisible(), m_registering, m_sending)) {
        return;
    }
    // Posted, as the menu's own command: the window opens after this change has been handled.
    if (auto* command = frame->findChild<QAction*>(QStringLiteral("releaseNotesAction")); command != nullptr) {
        QMetaObject::invokeMethod(command, &QAction::trigger, Qt::QueuedConnection);
    }
}

void CFirmwarePage::AppendLog(const std::string& text) {
    QString line = Text(FlattenLineBreaks(text, "\n"));
    while (line.endsWith(QLatin1Char('\n'))) {
        line.chop(1);
    }
    const QTime now = QTime::currentTime();
    line = QString::asprintf("%02d:%02d:%02d ", now.hour(), now.minute(), now.second()) + line;
    // Past its limit the log starts afresh rather than refusing new lines.
    if (m_log->document()->characterCount() + line.size() > kActivityLogLimit) {
        m_log->clear();
    }
    m_log->append(line);
    m_log->verticalScrollBar()->setValue(m_log->verticalScrollBar()->maximum());
}

}  // namespace rm7
