#include "memories/ui/macro_editor_sheet.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "ui/qt_text.h"
#include "ui/radio_action.h"

namespace rm7 {
namespace {

QWidget* MacroGrid(std::size_t from, std::array<QLineEdit*, kMacroCount>& labels,
                   std::array<QLineEdit*, kMacroCount>& commands, QGridLayout*& grid) {
    auto* page = new QWidget;
    grid = new QGridLayout(page);
    grid->addWidget(new QLabel(QStringLiteral("Label"), page), 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Commands"), page), 0, 2);
    QFont font(QStringLiteral("Courier New"), 10);
    font.setStyleHint(QFont::Monospace);
    for (std::size_t i = from; i < from + kRadioMacroCount; ++i) {
        const int row = static_cast<int>(i - from) + 1;
        grid->addWidget(new QLabel(QStringLiteral("%1").arg(i + 1), page), row, 0);
        labels[i] = new QLineEdit(page);
        labels[i]->setObjectName(QStringLiteral("label%1").arg(i + 1));
        labels[i]->setFont(font);
        // An empty label shows on its button as "MACRO1": the editor says so.
        labels[i]->setPlaceholderText(Text(DefaultMacroLabel(i)));
        if (i < kRadioMacroCount) {
            // What the radio's field holds; the others are this computer's alone, and a longer
            // label kept from before is not cut.
            labels[i]->setMaxLength(static_cast<int>(kMacroLabelSize));
        }
        commands[i] = new QLineEdit(page);
        commands[i]->setObjectName(QStringLiteral("commands%1").arg(i + 1));
        commands[i]->setFont(font);
        grid->addWidget(labels[i], row, 1);
        grid->addWidget(commands[i], row, 2);
    }
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(2, 6);
    return page;
}

}  // namespace

CCommandMacrosSheet::CCommandMacrosSheet(CRadioSession& session, CCommandMacros& macros, QWidget* parent,
                                         DialogPrompts prompts)
    : CJobDialog(parent, std::move(prompts), kMacroEditorHelpTopic), m_model(session.Model()), m_macros(macros) {
    setWindowTitle(QString::fromLatin1(kMacroEditorCaption));
    QGridLayout* grid1 = nullptr;
    QGridLayout* grid2 = nullptr;
    m_page1 = MacroGrid(0, m_labels, m_commands, grid1);
    QWidget* page2 = MacroGrid(kRadioMacroCount, m_labels, m_commands, grid2);
    m_read = new QPushButton(QString::fromLatin1(kMacroReadButton), m_page1);
    m_read->setObjectName(QStringLiteral("read"));
    m_write = new QPushButton(QString::fromLatin1(kMacroWriteButton), m_page1);
    m_write->setObjectName(QStringLiteral("write"));
    auto* radioButtons = new QHBoxLayout;
    radioButtons->addWidget(m_read);
    radioButtons->addWidget(m_write);
    radioButtons->addStretch(1);
    grid1->addLayout(radioButtons, static_cast<int>(kRadioMacroCount) + 1, 0, 1, 3);
    grid1->setRowStretch(static_cast<int>(kRadioMacroCount) + 2, 1);
    grid2->setRowStretch(static_cast<int>(kRadioMacroCount) + 1, 1);
    ApplyRadioNeed(m_read, m_model, RadioNeed::kFirmware);
    ApplyRadioNeed(m_write, m_model, RadioNeed::kFirmware);
    connect(m_read, &QPushButton::clicked, this, [this] { m_job->Read(); });
    connect(m_write, &QPushButton::clicked, this, [this] {
        std::array<std::string, kRadioMacroCount> labels;
        std::array<std::string, kRadioMacroCount> commands;
        for (std::size_t i = 0; i < kRadioMacroCount; ++i) {
            labels[i] = m_labels[i]->text().toStdString();
            commands[i] = m_commands[i]->text().toStdString();
        }
        m_job->Write(labels, commands);
    });

    m_pages = new QTabWidget(this);
    m_pages->addTab(m_page1, QString::fromLatin1(kMacroPage1Title));
    m_pages->addTab(page2, QString::fromLatin1(kMacroPage2Title));
    connect(m_pages, &QTabWidget::currentChanged, this, [this](int index) {
        if (index >= 0 && index < 2) {
            m_opened[static_cast<std::size_t>(index)] = true;
        }
    });

    auto* buttons =
        new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Help, this);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    m_ok->setObjectName(QStringLiteral("ok"));
    m_cancel = buttons->button(QDialogButtonBox::Cancel);
    m_cancel->setObjectName(QStringLiteral("cancel"));
    connect(m_ok, &QPushButton::clicked, this, [this] { accept(); });
    connect(m_cancel, &QPushButton::clicked, this, [this] { reject(); });
    connect(buttons->button(QDialogButtonBox::Help), &QPushButton::clicked, this, [this] { ShowHelp(); });

    m_outcome = new QLabel(this);
    m_outcome->setObjectName(QStringLiteral("outcome"));
    m_outcome->setWordWrap(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pages);
    layout->addWidget(m_outcome);
    layout->addWidget(buttons);
    setMinimumSize(560, 360);
    setSizeGripEnabled(true);
    CJobView::Results results{QDialog::Accepted, QDialog::Rejected, QDialog::Rejected};
    results.endOnDone = false;
    m_view = std::make_unique<CJobView>(*this, CJobView::Widgets{nullptr, nullptr, m_outcome, m_cancel, nullptr},
                                        session.Model().Notifier(), kMacroEditorErrorCaption, results);
    m_job = std::make_unique<CMacroEditorJob>(session, macros, *m_view, static_cast<IMacroEditorView*>(this));
    const bool radio = m_job->RadioButtonsEnabled();
    m_read->setEnabled(radio);
    m_write->setEnabled(radio);
}

CCommandMacrosSheet::~CCommandMacrosSheet() {
    OnHidden();
    m_model.Pump().Forget(this);
}

void CCommandMacrosSheet::OnFirstShow() {
    m_opened[static_cast<std::size_t>(m_pages->currentIndex())] = true;
    m_labelsObservation = CObservation(m_macros.labels, this);
    m_textsObservation = CObservation(m_macros.texts, this);
    m_macros.labels.Notify(this);
    m_macros.texts.Notify(this);
    m_job->Show();
}

void CCommandMacrosSheet::OnHidden() {
    m_labelsObservation.Reset();
    m_textsObservation.Reset();
    m_job->Hide();
}

LResult CCommandMacrosSheet::OnMessage(std::uint32_t code, WParam wParam, LParam) {
    const auto i = static_cast<std::size_t>(wParam);
    if (code == kMsgCommandCaptions && i < kMacroCount) {
        m_labels[i]->setText(Text(m_macros.labels.Get(i)));
    } else if (code == kMsgCommandTexts && i < kMacroCount) {
        m_commands[i]->setText(Text(m_macros.texts.Get(i)));
    }
    return 0;
}

void CCommandMacrosSheet::accept() {
    if (m_job->Busy()) {
        return;
    }
    // Each page that was opened gives every box, as typed.
    for (std::size_t page = 0; page < 2; ++page) {
        if (!m_opened[page]) {
            continue;
        }
        for (std::size_t i = page * kRadioMacroCount; i < (page + 1) * kRadioMacroCount; ++i) {
            m_macros.labels.Set(i, m_labels[i]->text().toStdString());
            m_macros.texts.Set(i, m_commands[i]->text().toStdString());
        }
    }
    QDialog::accept();
}

void CCommandMacrosSheet::reject() {
    if (m_job->QueryCancel()) {
        QDialog::reject();
    }
}

void CCommandMacrosSheet::SetControlsEnabled(bool enabled) {
    for (std::size_t i = 0; i < kRadioMacroCount; ++i) {
        m_labels[i]->setEnabled(enabled);
        m_commands[i]->setEnabled(enabled);
    }
    const std::string busy = enabled ? std::string() : "Wait until the radio's macros are read or written";
    ApplyRadioNeed(m_read, m_model, RadioNeed::kFirmware, busy);
    ApplyRadioNeed(m_write, m_model, RadioNeed::kFirmware, busy);
}

void CCommandMacrosSheet::CloseSheet() {
    EndAfterBoxes(QDialog::Rejected);
}

}  // namespace rm7
