#include "config/ui/configuration_page.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <utility>

#include "clock/ui/date_time_sheet.h"
#include "config/ui/config_compare_dialog.h"
#include "config/ui/config_restore_dialog.h"
#include "config/ui/config_save_dialog.h"
#include "memories/ui/banner_sheet.h"
#include "memories/ui/cw_memory_dialog.h"
#include "ui/page_index.h"
#include "ui/radio_action.h"

namespace rm7 {

namespace {

struct ButtonText {
    const char* text;
    const char* name;
    const char* purpose;
};

// In the order of CConfigurationPage::Action.
constexpr ButtonText kButtons[] = {
    {"Save Configuration...", "saveConfiguration", "Save the radio's settings to a file."},
    {"Restore Configuration...", "restoreConfiguration", "Write settings saved earlier back to the radio."},
    {"Edit CW Memories...", "editCwMemories", "Read and change the radio's CW message memories."},
    {"Edit Power On Banner...", "editPowerOnBanner", "Change the text the radio shows when switched on."},
    {"Set Time...", "setTime", "Set the radio's clock from this computer's."},
    {"Compare with Radio...", "compareWithRadio", "Show what differs between a saved file and the radio."},
};

}  // namespace

CConfigurationPage::CConfigurationPage(CRadioSession& session, HelpOpener help, QWidget* parent)
    : CPage(session, parent), m_help(std::move(help)) {
    setObjectName("configurationPage");
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(12);
    for (int i = 0; i < kActionCount; ++i) {
        auto* button = new QPushButton(QString::fromLatin1(kButtons[i].text), this);
        button->setObjectName(QString::fromLatin1(kButtons[i].name));
        auto* purpose = new QLabel(QString::fromLatin1(kButtons[i].purpose), this);
        purpose->setWordWrap(true);
        grid->addWidget(button, i, 0);
        grid->addWidget(purpose, i, 1);
        m_buttons[static_cast<std::size_t>(i)] = button;
    }
    // Each job runs its dialog modally.
    m_buttons[kSetTime]->setToolTip(QString::fromLatin1(kSetTimeTip));
    connect(m_buttons[kSave], &QPushButton::clicked, this, [this] {
        CConfigSaveDlg dialog(Session(), Model().Settings(), this);
        dialog.exec();
    });
    connect(m_buttons[kRestore], &QPushButton::clicked, this, [this] {
        CConfigRestoreDlg dialog(Session(), Model().Settings(), this);
        dialog.exec();
    });
    connect(m_buttons[kCwMemories], &QPushButton::clicked, this, [this] {
        CCWMemoryDlg dialog(Session(), this, DialogPrompts::Qt(m_help));
        dialog.exec();
    });
    connect(m_buttons[kBanner], &QPushButton::clicked, this, [this] {
        CPowerOnBannerSheet sheet(Session(), this, DialogPrompts::Qt(m_help));
        sheet.exec();
    });
    connect(m_buttons[kSetTime], &QPushButton::clicked, this, [this] {
        CDateTimeSheet sheet(Session(), this, DialogPrompts::Qt(m_help));
        sheet.exec();
    });
    connect(m_buttons[kCompare], &QPushButton::clicked, this,
            [this] { RunCompareWithRadio(Session(), Model().Settings(), this); });
    grid->setColumnStretch(1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addStretch(1);
    UpdateButtons();
}

void CConfigurationPage::OnSetActive() {
    m_firmwareStatus = CObservation(Model().firmwareStatus, this);
    m_portState = CObservation(Model().portState, this);
    UpdateButtons();
}

void CConfigurationPage::OnKillActive() {
    m_firmwareStatus.Reset();
    m_portState.Reset();
}

LResult CConfigurationPage::OnMessage(std::uint32_t code, WParam, LParam) {
    if (code == kMsgFirmwareStatus || code == kMsgPortState) {
        UpdateButtons();
    }
    return 0;
}

void CConfigurationPage::UpdateButtons() {
    for (QPushButton* button : m_buttons) {
        ApplyRadioNeed(button, Model(), RadioNeed::kFirmware);
    }
}

int CConfigurationPage::Index() const {
    return kPageConfiguration;
}

QWidget* CConfigurationPage::InitialFocus() {
    for (QPushButton* button : m_buttons) {
        if (button->isEnabled()) {
            return button;
        }
    }
    return nullptr;
}

}  // namespace rm7
