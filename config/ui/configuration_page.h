#pragma once
// CConfigurationPage: the buttons that open the configuration jobs: save and restore the
// radio's configuration, edit its CW memories and power-on banner, set its clock. A button
// whose job is not built yet is disabled and says so in its tooltip.
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

    QPushButton* Button(Action action) const { return m_buttons[action]; }

  private:
    HelpOpener m_help;
    std::array<QPushButton*, kActionCount> m_buttons{};
};

}  // namespace rm7
