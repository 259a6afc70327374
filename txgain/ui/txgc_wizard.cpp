#include "txgain/ui/txgc_wizard.h"

#include <QAbstractButton>
#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTextEdit>
#include <QVBoxLayout>
#include <QWizardPage>

#include <QTimer>

#include "ui/message_box.h"
#include "ui/qt_text.h"

namespace rm7 {

namespace {

QFont TitleFont() {
    QFont font(QStringLiteral("Verdana"), 12);
    font.setBold(true);
    return font;
}

QFont LogFont() {
    QFont font(QStringLiteral("Courier New"), 10);
    font.setStyleHint(QFont::Monospace);
    return font;
}

QLabel* Label(const char* text, QWidget* parent) {
    auto* label = new QLabel(QString::fromLatin1(text), parent);
    label->setWordWrap(true);
    return label;
}

QTextEdit* LogBox(QWidget* parent, const char* name) {
    auto* box = new QTextEdit(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setReadOnly(true);
    box->setFont(LogFont());
    box->setLineWrapMode(QTextEdit::NoWrap);
    return box;
}

class CTXGCWelcomePage final : public QWizardPage {
  public:
    explicit CTXGCWelcomePage(QWidget* parent) : QWizardPage(parent) {
        setTitle(QStringLiteral("Transmitter Gain Calibration"));
        auto* layout = new QVBoxLayout(this);
        auto* title = Label("Welcome to TX Gain Calibration", this);
        title->setFont(TitleFont());
        layout->addWidget(title);
        layout->addWidget(Label("This will guide you through the TX Gain Calibration procedure. This involves:", this));
        for (const char* item : {"Verify Installed Option Modules", "Attach a Dummy Load", "Calibration"}) {
            auto* row = new QHBoxLayout;
            row->addWidget(new QLabel(QString::fromUtf8("\u2022"), this));
            row->addWidget(Label(item, this), 1);
            layout->addLayout(row);
        }
        layout->addStretch(1);
        layout->addWidget(Label("To continue, click Next", this));
    }
};

class CTXGCDummyLoadPage final : public QWizardPage {
  public:
    explicit CTXGCDummyLoadPage(QWidget* parent) : QWizardPage(parent) {
        setTitle(QStringLiteral("Connect Dummy Load"));
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(Label("Connect a 6-watt (or greater) Dummy Load to the ANT connector", this));
        layout->addStretch(1);
        layout->addWidget(Label("To continue, click Next", this));
    }
};

}  // namespace

class CTXGCCalibratePage final : public QWizardPage {
  public:
    CTXGCCalibratePage(CTXGCJob& job, std::function<void()> onCalibrate, QWidget* parent)
        : QWizardPage(parent), m_job(job) {
        setTitle(QStringLiteral("Transmitter Gain Calibration"));
        auto* layout = new QVBoxLayout(this);
        auto* row = new QHBoxLayout;
        calibrate = new QPushButton(QStringLiteral("Calibrate"), this);
        calibrate->setObjectName("calibrate");
        row->addWidget(calibrate);
        row->addWidget(Label("Click Calibrate to start calibration", this), 1);
        layout->addLayout(row);
        log = LogBox(this, "calibrationLog");
        layout->addWidget(log, 1);
        clickNext = Label("Click Next to continue", this);
        clickNext->setVisible(false);
        layout->addWidget(clickNext);
        connect(calibrate, &QPushButton::clicked, this, std::move(onCalibrate));
    }

    void initializePage() override { SetButtons(true, true); }
    bool isComplete() const override { return m_next; }
    // Next is refused while the contact or the calibration runs.
    bool validatePage() override { return m_job.CanLeaveCalibratePage(); }

    void SetButtons(bool back, bool next) {
        if (m_next != next) {
            m_next = next;
            emit completeChanged();  // the wizard sets its buttons again: Back comes after
        }
        if (QAbstractButton* b = wizard() != nullptr ? wizard()->button(QWizard::BackButton) : nullptr) {
            b->setEnabled(back);
        }
    }

    QPushButton* calibrate;
    QTextEdit* log;
    QLabel* clickNext;

  private:
    CTXGCJob& m_job;
    bool m_next = true;
};

class CTXGCCompletionPage final : public QWizardPage {
  public:
    CTXGCCompletionPage(CTXGCJob& job, QWidget* parent) : QWizardPage(parent), m_job(job) {
        setTitle(QStringLiteral("Calibrating Transmitter Gain"));
        auto* layout = new QVBoxLayout(this);
        auto* title = Label("Calibration Summary", this);
        title->setFont(TitleFont());
        layout->addWidget(title);
        summary = LogBox(this, "calibrationSummary");
        layout->addWidget(summary, 1);
        layout->addWidget(Label("Click Finish to continue", this));
        setFinalPage(true);
    }
    void initializePage() override {
        summary->clear();
        summary->setPlainText(Text(m_job.CompletionText()));
        summary->ensureCursorVisible();
    }

    QTextEdit* summary;

  private:
    CTXGCJob& m_job;
};

CTXGCWizard::CTXGCWizard(CRadioSession& session, QWidget* parent, HelpOpener help,
                         std::function<Answer(QWidget* owner, const Question& question)> ask)
    : QWizard(parent),
      m_session(session),
      m_job(session, *this, ReadAutoBackupSettings(session.Model().Settings())),
      m_help(std::move(help)),
      m_ask(ask ? std::move(ask) : AskQuestionBox) {
    setObjectName("txgcWizard");
    setWindowTitle(QString::fromLatin1(kTXGCCaption));
    setWizardStyle(QWizard::ClassicStyle);
    setOption(QWizard::HaveHelpButton, true);
    setOption(QWizard::NoBackButtonOnStartPage, true);
    setPage(kWelcome, new CTXGCWelcomePage(this));
    setPage(kDummyLoad, new CTXGCDummyLoadPage(this));
    m_calibrate = new CTXGCCalibratePage(
        m_job, [this] { OnCalibrate(); }, this);
    setPage(kCalibrate, m_calibrate);
    m_completion = new CTXGCCompletionPage(m_job, this);
    setPage(kCompletion, m_completion);
    connect(this, &QWizard::helpRequested, this, [this] {
        const int id = currentId();
        if (m_help) {
            m_help(QString::fromLatin1(id >= 0 && id < 4 ? kTXGCHelpTopics[id] : "TXGainCalibration.htm"));
        }
    });
    // Cancel stops a run and leaves the outcome on the screen; only a second Cancel closes.
    QAbstractButton* cancel = button(QWizard::CancelButton);
    disconnect(cancel, nullptr, this, nullptr);
    connect(cancel, &QAbstractButton::clicked, this, [this] { OnCancelButton(); });
    resize(560, 420);
    m_job.Open();
}

CTXGCWizard::~CTXGCWizard() {
    SetBusy(false);
    m_job.Close();
}

QPushButton* CTXGCWizard::CalibrateButton() const {
    return m_calibrate->calibrate;
}
QTextEdit* CTXGCWizard::LogBox() const {
    return m_calibrate->log;
}
QLabel* CTXGCWizard::ClickNextLabel() const {
    return m_calibrate->clickNext;
}
QTextEdit* CTXGCWizard::SummaryBox() const {
    return m_completion->summary;
}

void CTXGCWizard::reject() {
    // The carrier may be keyed: the run stops through its restore, and the wizard closes after.
    if (m_job.QueryCancel()) {
        QWizard::reject();
    } else if (m_job.Running()) {
        m_closeOnEnd = true;
    }
}

void CTXGCWizard::OnCancelButton() {
    if (m_job.QueryCancel()) {
        QWizard::reject();
    }
}

void CTXGCWizard::OnCalibrate() {
    if (!m_job.Calibrate()) {
        return;
    }
    m_calibrate->calibrate->setEnabled(false);
    m_calibrate->SetButtons(false, false);
    m_calibrate->clickNext->setVisible(false);
}

void CTXGCWizard::Log(const std::string& line) {
    QTextEdit* box = m_calibrate->log;
    QScrollBar* bar = box->verticalScrollBar();
    const bool atBottom = bar->maximum() == 0 || bar->value() >= bar->maximum();
    const int kept = bar->value();
    box->append(Text(line));
    if (atBottom) {
        bar->setValue(bar->maximum());
    } else {
        bar->setValue(kept);
    }
}

void CTXGCWizard::SetBusy(bool busy) {
    if (busy) {
        setCursor(Qt::WaitCursor);
        if (QAbstractButton* cancel = button(QWizard::CancelButton)) {
            cancel->setCursor(Qt::ArrowCursor);
        }
    } else {
        unsetCursor();
    }
}

void CTXGCWizard::ShowBox(const std::string& caption, const std::string& text, MessageIcon icon) {
    // From the event loop: the box may be asked for inside a radio callback.
    QTimer::singleShot(0, this, [this, caption, text, icon] { ShowMessageBox(this, caption, text, icon); });
}

void CTXGCWizard::Ask(const JobQuestion& question, std::function<void(bool yes)> answer) {
    QTimer::singleShot(0, this, [this, question, answer = std::move(answer)] {
        answer(m_ask(this, {question.caption, question.text, question.icon}) == Answer::Yes);
    });
}

void CTXGCWizard::ShowOutcome(const JobOutcome& outcome) {
    // The outcome stays in the log; the completion page shows it too.
    for (const std::string& line : outcome.Lines()) {
        Log(line);
    }
    if (IUserNotifier* status = m_session.Model().Notifier()) {
        status->StatusText(outcome.Lines().front());
    }
    m_calibrate->SetButtons(true, true);
    m_calibrate->calibrate->setEnabled(true);
    m_calibrate->clickNext->setVisible(true);
    if (m_closeOnEnd) {
        // From inside a radio callback: closed from the event loop.
        QMetaObject::invokeMethod(
            this, [this] { QWizard::reject(); }, Qt::QueuedConnection);
    }
}

}  // namespace rm7
