#include "txgain/ui/calibration_page.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "model/messages.h"
#include "platform/format.h"
#include "platform/version.h"
#include "txgain/ui/txgc_wizard.h"
#include "ui/page_index.h"
#include "ui/radio_action.h"

namespace rm7 {

CCalibrationPage::CCalibrationPage(CRadioSession& session, HelpOpener help, QWidget* parent)
    : CPage(session, parent), m_help(std::move(help)) {
    setObjectName("calibrationPage");
    m_button = new QPushButton(QString::fromLatin1(kCalibrateButtonText), this);
    m_button->setObjectName("calibrateTxGain");
    m_button->setToolTip(QString::fromLatin1(kCalibrateButtonTip));
    auto* purpose = new QLabel(
        QStringLiteral("Calibrate the transmitter's gain band by band into a dummy load of 6 W or more."), this);
    purpose->setWordWrap(true);
    auto* row = new QHBoxLayout;
    row->addWidget(m_button);
    row->addWidget(purpose, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addStretch(1);
    connect(m_button, &QPushButton::clicked, this, [this] {
        CTXGCWizard wizard(Session(), this, m_help);
        wizard.exec();
        UpdateButton();
    });
    UpdateButton();
}

int CCalibrationPage::Index() const {
    return kPageCalibration;
}

QWidget* CCalibrationPage::InitialFocus() {
    return m_button->isEnabled() ? m_button : nullptr;
}

void CCalibrationPage::OnSetActive() {
    m_firmwareStatus = CObservation(Model().firmwareStatus, this);
    m_portState = CObservation(Model().portState, this);
    UpdateButton();
}

void CCalibrationPage::OnKillActive() {
    m_firmwareStatus.Reset();
    m_portState.Reset();
}

LResult CCalibrationPage::OnMessage(std::uint32_t code, WParam, LParam) {
    if (code == kMsgFirmwareStatus || code == kMsgPortState) {
        UpdateButton();
    }
    return 0;
}

void CCalibrationPage::UpdateButton() {
    ApplyRadioNeed(
        m_button, Model(), RadioNeed::kFirmware,
        CTXGCJob::Available(Model()) ? std::string() : StrFormat("The connected device is not an %s", kModelName));
}

}  // namespace rm7
