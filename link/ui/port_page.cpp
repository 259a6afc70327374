#include "link/ui/port_page.h"

#include <QApplication>
#include <QDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "platform/format.h"
#include "platform/serial_enum.h"
#include "platform/version.h"
#include "ui/page_index.h"

namespace rm7 {

CPortPage::CPortPage(CRadioSession& session, QWidget* parent) : CPage(session, parent), m_logic(session) {
    setObjectName("portPage");

    auto* group = new QGroupBox(QStringLiteral("Connection to the radio"), this);
    auto* form = new QFormLayout;
    form->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);

    m_portList = new CPortComboBox(group);
    m_portList->setObjectName("portList");
    m_portList->setEditable(true);
    m_portList->setInsertPolicy(QComboBox::NoInsert);
    m_portList->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_portList->setMinimumContentsLength(24);
    m_portList->lineEdit()->setPlaceholderText(QStringLiteral("Choose a port or type a device path"));
    m_portList->onDropDown = [this] { FillPortList(); };
    auto* portLabel = new QLabel(QString::fromStdString(StrFormat("Serial port connected to %s:", kModelName)), group);
    portLabel->setBuddy(m_portList);
    form->addRow(portLabel, m_portList);

    m_speedList = new QComboBox(group);
    m_speedList->setObjectName("speedList");
    for (const SpeedChoice& choice : kSpeedChoices) {
        m_speedList->addItem(QString::fromLatin1(choice.label), QVariant::fromValue<qulonglong>(choice.speed));
    }
    m_speedList->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    auto* speedLabel = new QLabel(QStringLiteral("Serial port speed (bit/s):"), group);
    speedLabel->setBuddy(m_speedList);
    auto* speedRow = new QHBoxLayout;
    speedRow->addWidget(m_speedList);
    speedRow->addStretch(1);
    form->addRow(speedLabel, speedRow);

    auto* hint =
        new QLabel(QStringLiteral("Choose the port of the radio's serial cable or USB adapter, or type a device "
                                  "path (a pty or a link) or a port on the network (rfc2217://HOST:PORT, "
                                  "tcp://HOST:PORT) and press Enter. AUTO tries every speed."),
                   group);
    hint->setWordWrap(true);
    hint->setForegroundRole(QPalette::PlaceholderText);
    form->addRow(hint);
    group->setLayout(form);

    m_test = new QPushButton(QStringLiteral("Test Communications"), this);
    m_test->setObjectName("testCommunications");
    m_test->setToolTip(QStringLiteral("Reopen port and determine speed"));
    m_close = new QPushButton(QStringLiteral("Close Port"), this);
    m_close->setObjectName("closePort");
    m_close->setToolTip(QStringLiteral("Stop polling and close the serial port"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_test);
    buttons->addWidget(m_close);
    buttons->addStretch(1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addLayout(buttons);
    layout->addStretch(1);

    FillPortList();
    m_speedList->setCurrentIndex(static_cast<int>(SpeedChoiceIndex(Model().fixedSerialSpeed.Get())));

    connect(m_portList, &QComboBox::activated, this, &CPortPage::OnPortActivated);
    connect(m_portList->lineEdit(), &QLineEdit::returnPressed, this, &CPortPage::OnPortTyped);
    connect(m_speedList, &QComboBox::activated, this,
            [this](int index) { m_logic.ChooseSpeed(static_cast<std::size_t>(index)); });
    connect(m_close, &QPushButton::clicked, this, [this] { m_logic.ClosePort(); });
    connect(m_test, &QPushButton::clicked, this, &CPortPage::OnTestCommunications);
}

CPortPage::~CPortPage() = default;

int CPortPage::Index() const {
    return kPagePort;
}

QWidget* CPortPage::InitialFocus() {
    return m_test;
}

void CPortPage::OnSetActive() {
    CModel& model = Model();
    m_portName = CObservation(model.portName, this);
    m_portState = CObservation(model.portState, this);
    m_portEvent = CObservation(model.portEvent, this);
    model.portName.Notify(this);
    model.portState.Notify(this);
}

void CPortPage::OnKillActive() {
    m_logic.ForgetTest();
    m_portName.Reset();
    m_portState.Reset();
    m_portEvent.Reset();
}

LResult CPortPage::OnMessage(std::uint32_t code, WParam wParam, LParam) {
    switch (code) {
        case kMsgPortEvent:
            // A completion comes inside a radio callback: the question waits for the event loop.
            if (const Result r = static_cast<Result>(wParam); m_logic.AccessDeniedQuestion(r)) {
                QTimer::singleShot(0, this, [this, r] { OfferDiagnosis(r); });
            }
            m_logic.OnContactEnded(static_cast<Result>(wParam));
            break;
        case kMsgPortName:
            SelectModelPort();
            break;
        case kMsgPortState:
            m_logic.OnPortState();
            if (Model().IsPortOpen() && PortListIndex(m_entries, Model().portName.Get()) < 0) {
                FillPortList();  // a typed port joins the list once it opened
            }
            break;
        default:
            break;
    }
    return 0;
}

void CPortPage::FillPortList() {
    m_entries = m_logic.Entries(EnumerateSerialDevices());
    const QSignalBlocker block(m_portList);
    m_portList->clear();
    for (const PortListEntry& entry : m_entries) {
        m_portList->addItem(QString::fromStdString(entry.label), QString::fromStdString(entry.port));
    }
    SelectModelPort();
}

void CPortPage::SelectModelPort() {
    const std::string port = Model().portName.Get();
    const int index = PortListIndex(m_entries, port);
    const QSignalBlocker block(m_portList);
    m_portList->setCurrentIndex(index);
    if (index < 0) {
        m_portList->setEditText(QString::fromStdString(port));  // not in the list (yet), still the port in use
    }
}

void CPortPage::OnPortActivated(int index) {
    if (index >= 0 && static_cast<std::size_t>(index) < m_entries.size()) {
        m_logic.ChoosePort(m_entries[static_cast<std::size_t>(index)].port);
    }
}

void CPortPage::OnPortTyped() {
    const std::string port = PortFromInput(m_entries, m_portList->currentText().toStdString());
    if (port.empty()) {
        SelectModelPort();  // an emptied field is no choice; show the port in use again
        return;
    }
    m_logic.ChoosePort(port);
}

void CPortPage::OnTestCommunications() {
    if (m_logic.TestCommunications() == CPortPageLogic::TestOutcome::Started) {
        return;
    }
    // The list drops down once the user has read why.
    m_portList->setFocus();
    if (auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
        connect(box, &QDialog::finished, m_portList, [list = m_portList] { list->showPopup(); });
    } else {
        m_portList->showPopup();
    }
}

void CPortPage::OfferDiagnosis(Result result) {
    const std::optional<Question> question = m_logic.AccessDeniedQuestion(result);
    if (!question || !m_prompts.ask || m_prompts.ask(this, *question) != Answer::Yes) {
        return;
    }
    if (m_prompts.show) {
        m_prompts.show(this, kDiagnosisCaption, m_logic.DiagnosisText(m_doctorSystem), MessageIcon::Information);
    }
}

}  // namespace rm7
