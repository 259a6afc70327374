#include "txgain/ui/txgc_wizard.h"

#include <QAbstractButton>
#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QTextEdit>
#include <QVBoxLayout>
#include <QWizardPage>

#include <QTimer>

#include "platform/format.h"
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
        row->addWidget(calibrate, 0, Qt::AlignTop);
        status = Label(ProgressStepText({}).c_str(), this);
        status->setObjectName("calibrationStatus");
        row->addWidget(status, 1);
        layout->addLayout(row);

        progress = new QProgressBar(this);
        progress->setObjectName("calibrationProgress");
        progress->setRange(0, static_cast<int>(kTXGCSteps));
        progress->setValue(0);
        progress->setFormat(QString());
        layout->addWidget(progress);

        auto* indicators = new QHBoxLayout;
        transmitting = new QLabel(QStringLiteral("TX ON"), this);
        transmitting->setObjectName("txIndicator");
        transmitting->setAlignment(Qt::AlignCenter);
        transmitting->setMargin(3);
        transmitting->setMinimumWidth(transmitting->fontMetrics().horizontalAdvance(QStringLiteral("TX OFF")) + 16);
        time = new QLabel(this);
        time->setObjectName("calibrationTime");
        indicators->addWidget(transmitting);
        indicators->addWidget(time, 1);
        layout->addLayout(indicators);
        ShowTransmitting(false);

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

    // Lit while the carrier may be keyed into the dummy load.
    void ShowTransmitting(bool on) {
        transmitting->setText(on ? QStringLiteral("TX ON") : QStringLiteral("TX OFF"));
        transmitting->setStyleSheet(
            on ? QStringLiteral("QLabel { background: #c62828; color: white; font-weight: bold; "
                                "border-radius: 3px; }")
               : QStringLiteral("QLabel { color: palette(mid); border: 1px solid palette(mid); "
                                "border-radius: 3px; }"));
    }

    void ShowRun(const TXGCProgress& p) {
        status->setText(Text(ProgressStepText(p)));
        progress->setValue(static_cast<int>(p.position));
        progress->setFormat(p.phase == TXGCProgress::Phase::kBand
                                ? Text(StrFormat("Band %u of %u", p.band, CTXGCStateMachine::kBands) +
                                       (p.watts != 0 ? StrFormat(", %u W", p.watts) : std::string()))
                                : QString());
        ShowTransmitting(p.transmitting);
        time->setText(Text(ProgressTimeText(p)));
        m_elapsed = p.elapsedSeconds;
    }

    void ShowEnd(const JobOutcome& outcome) {
        status->setText(Text(outcome.Text()));
        ShowTransmitting(false);
        time->setText(Text(ProgressTimeText(TXGCProgress{.elapsedSeconds = m_elapsed})));
    }

    QPushButton* calibrate;
    QLabel* status;
    QProgressBar* progress;
    QLabel* transmitting;
    QLabel* time;
    QTextEdit* log;
    QLabel* clickNext;

  private:
    CTXGCJob& m_job;
    bool m_next = true;
    std::uint32_t m_elapsed = 0;
};

class CTXGCCompletionPage final : public QWizardPage {
  public:
    CTXGCCompletionPage(CTXGCJob& job, QWidget* parent) : QWizardPage(parent), m_job(job) {
        setTitle(Text(CompletionTitle(std::nullopt)));
        auto* layout = new QVBoxLayout(this);
        bands = new QTableWidget(0, 5, this);
        bands->setObjectName("calibrationBands");
        bands->setHorizontalHeaderLabels({QStringLiteral("Band"), QStringLiteral("Frequency"), QStringLiteral("4 W"),
                                          QStringLiteral("6 W"), QStringLiteral("Result")});
        bands->verticalHeader()->hide();
        // Compact rows, so the eleven bands fit without scrolling.
        bands->verticalHeader()->setDefaultSectionSize(bands->fontMetrics().height() + 6);
        bands->setMinimumHeight((bands->fontMetrics().height() + 6) * 12 + 8);
        bands->setEditTriggers(QAbstractItemView::NoEditTriggers);
        bands->setSelectionMode(QAbstractItemView::NoSelection);
        bands->setFocusPolicy(Qt::NoFocus);
        bands->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
        bands->horizontalHeader()->setStretchLastSection(true);
        layout->addWidget(bands, 0);
        summary = LogBox(this, "calibrationSummary");
        layout->addWidget(summary, 1);
        layout->addWidget(Label("Click Finish to continue", this));
        setFinalPage(true);
    }
    void initializePage() override {
        setTitle(Text(CompletionTitle(m_job.Shell().Outcome())));
        const std::vector<TXGCBandRow> rows = m_job.BandRows();
        bands->setRowCount(static_cast<int>(rows.size()));
        for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
            const TXGCBandRow& row = rows[static_cast<std::size_t>(r)];
            int c = 0;
            for (const std::string* cell : {&row.band, &row.frequency, &row.fourWatts, &row.sixWatts, &row.result}) {
                auto* item = new QTableWidgetItem(Text(*cell));
                if (c > 0 && c < 4) {
                    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
                }
                bands->setItem(r, c++, item);
            }
        }
        bands->setVisible(!rows.empty());
        summary->clear();
        summary->setPlainText(Text(m_job.CompletionText()));
        summary->ensureCursorVisible();
    }

    QTableWidget* bands;
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
    m_job.SetProgressListener([this](const TXGCProgress& progress) { m_calibrate->ShowRun(progress); });
    resize(640, 580);
    m_job.Open();
}

CTXGCWizard::~CTXGCWizard() {
    m_job.SetProgressListener(nullptr);
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
QLabel* CTXGCWizard::StatusLabel() const {
    return m_calibrate->status;
}
QProgressBar* CTXGCWizard::ProgressBar() const {
    return m_calibrate->progress;
}
QLabel* CTXGCWizard::TxIndicator() const {
    return m_calibrate->transmitting;
}
QLabel* CTXGCWizard::TimeLabel() const {
    return m_calibrate->time;
}
QTableWidget* CTXGCWizard::BandTable() const {
    return m_completion->bands;
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
    m_calibrate->ShowEnd(outcome);
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
