#pragma once
// CMainFrame: the one top-level window. It owns the tab view with the pages, the menus and the
// status bar; it shows the radio in its title; it is the model's user notifier (status line
// and message boxes); and it starts and stops the system: settings, placement, the contact.
//
// Threads: GUI thread only. Message boxes asked for by the core are shown without a nested
// event loop (window-modal, opened and left), because they may be asked for from inside a
// radio callback.
#include <QMainWindow>
#include <QPointer>

#include <optional>
#include <string>

#include "app/frame_logic.h"
#include "app/help_window.h"
#include "firmware/ui/release_notes_dialog.h"
#include "model/model.h"
#include "model/user_notifier.h"

class QAction;
class QLabel;
class QMenu;

namespace rm7 {

class CSettingsStore;
class CStatusLabel;
class CTabView;

class CMainFrame final : public QMainWindow, public IMessageTarget, public IUserNotifier {
  public:
    // What this run uses in place of the saved settings, never saved (--port, --simulate).
    struct RunOverrides {
        std::string port;
        std::string firmwareFolder;
        std::string fileServer;
        std::string backupFolder;
    };
    // settings may be null (nothing is loaded or saved).
    CMainFrame(CRadioSession& session, CSettingsStore* settings, RunOverrides run = {}, QWidget* parent = nullptr);
    ~CMainFrame() override;

    void StatusText(const std::string& text) override;
    void MessageBox(const std::string& caption, const std::string& text, MessageIcon icon) override;
    bool AskYesNo(const std::string& caption, const std::string& text, MessageIcon icon) override;
    LResult OnMessage(std::uint32_t code, WParam wParam, LParam lParam) override;

    CTabView* TabView() const { return m_tabView; }
    QString StatusBarText() const;
    // The status bar's permanent radio indicator (RadioIndicatorOf).
    QString IndicatorText() const;
    QLabel* Indicator() const { return m_indicator; }
    QMenu* PortMenu() const { return m_portMenu; }
    CHelpWindow* HelpWindow() const { return m_help; }
    // Opens the help at a topic ("Port.htm", "Configuration.htm#SetDateTime"); empty: contents.
    void ShowHelp(const QString& topic);
    // The Help menu's release-notes command: an open window is replaced by one showing the
    // firmware folder's notes as they are now.
    void ShowReleaseNotes();
    CReleaseInfoDlg* ReleaseNotesWindow() const { return m_releaseNotes; }
    void setVisible(bool visible) override;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void CreateMenus();
    void FillPortMenu();
    void RefreshChecks();
    void UpdateTitleAndStatus();
    void SetStatus(const std::string& text);
    // On the first show: the minimum size, then the stored placement when it is complete.
    void ApplyPlacement();
    // What closing does before the window goes: stop observing, keep the selected page, drop the pages.
    void OnClose();
    // The question for a radio found transmitting; shown from the event loop, answered later.
    void AskSwitchToReceive();

    CRadioSession& m_session;
    CModel& m_model;
    CSettingsStore* m_settings;
    RunOverrides m_run;
    std::string m_savedPort;
    std::string m_savedFolder;
    bool m_registering = false;
    bool m_shown = false;
    bool m_closed = false;
    std::optional<WindowPlacement> m_placement;  // as the window was when it closed
    CTransmitOffer m_transmitOffer;

    CStatusLabel* m_status = nullptr;
    QLabel* m_indicator = nullptr;
    QString m_indicatorText;
    CTabView* m_tabView = nullptr;
    QMenu* m_portMenu = nullptr;
    QAction* m_advancedMode = nullptr;
    QAction* m_statusBarShown = nullptr;
    QAction* m_trace = nullptr;
    QAction* m_verboseLogging = nullptr;
    QPointer<CHelpWindow> m_help;
    QPointer<CReleaseInfoDlg> m_releaseNotes;

    CObservation m_firmwareStatus;
    CObservation m_portEvent;
    CObservation m_serialNumber;
    CObservation m_portName;
    CObservation m_serialSpeed;
    CObservation m_portState;
    CObservation m_firmwareVersions;
    CObservation m_advancedModeSeen;
};

}  // namespace rm7
