#pragma once
// CCalibrationPage: the one button that opens the TX gain calibration wizard. The button is
// enabled only while the radio runs its firmware and is the expected device.
#include "model/observable.h"
#include "ui/help_opener.h"
#include "ui/page.h"

class QPushButton;

namespace rm7 {

class CCalibrationPage final : public CPage {
  public:
    CCalibrationPage(CRadioSession& session, HelpOpener help, QWidget* parent = nullptr);

    int Index() const override;
    QString Title() const override { return QStringLiteral("Calibration"); }
    QString HelpTopic() const override { return QStringLiteral("TXGainCalibration.htm"); }
    QWidget* InitialFocus() override;
    void OnSetActive() override;
    void OnKillActive() override;
    LResult OnMessage(std::uint32_t code, WParam wParam, LParam lParam) override;

    QPushButton* CalibrateButton() const { return m_button; }

  private:
    void UpdateButton();

    HelpOpener m_help;
    QPushButton* m_button;
    CObservation m_firmwareStatus;
    CObservation m_portState;
};

}  // namespace rm7
