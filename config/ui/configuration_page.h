#pragma once
// CConfigurationPage: the buttons that open the configuration jobs: save and restore the
// radio's configuration, edit its CW memories and power-on banner, set its clock. Each needs the
// radio running its firmware: without it the buttons are disabled and say why in their tooltips.
#include <array>

#include "ui/help_opener.h"
#include "ui/page.h"

class QPushButton;

namespace rm7 {

class CConfigurationPage final : public CPage {
  public:
    enum Action { kSave, kRestore, kCwMemories, kBanner, kSetTime, kCompare, kActionCount };

    // help opens the main window's help at a dialog's topic.
    CConfigurationPage(CRadioSession& session, HelpOpener help, QWidget* parent = nullptr);

    int Index() const override;
    QString Title() const override { return QStringLiteral("Configuration"); }
    QString HelpTopic() const override { return QStringLiteral("Configuration.htm"); }
    QWidget* InitialFocus() override;
    void OnSetActive() override;
    void OnKillActive() override;
    LResult OnMessage(std::uint32_t code, WParam wParam, LParam lParam) override;

    QPushButton* Button(Action action) const { return m_buttons[action]; }

  private:
    void UpdateButtons();

    HelpOpener m_help;
    CObservation m_firmwareStatus;
    CObservation m_portState;
    std::array<QPushButton*, kActionCount> m_buttons{};
};

}  // namespace rm7
