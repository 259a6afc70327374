#pragma once
// CFirmwarePage: the firmware folder, the versions the radio runs beside those the folder holds,
// and the send buttons, MCU first and DSP second, each through its loader dialog. Every decision
// is firmware/firmware_folder.h's; this view shows it and forwards clicks. While selected it
// observes advanced mode, the firmware folder, status and versions, and its "LoadCheckbox"; the
// main window hands it the status texts, which it appends to its activity log.
//
// Threads: GUI thread only. A send runs its loader dialogs modally, from the button's click.
#include <array>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "firmware/firmware_folder.h"
#include "firmware/loader_job.h"
#include "ui/page.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTextEdit;

namespace rm7 {

class CFirmwarePage final : public CPage {
  public:
    // Runs one load and returns the dialog's result (kLoaderDialogLoaded or not). By default a
    // modal CLoaderDlg; tests drive the dialog themselves.
    // backupFirst: false for a DSP load right after the same send's MCU load, whose backup holds the
    // same configuration.
    using RunLoader = std::function<int(LoaderPart part, const std::filesystem::path& file, bool backupFirst)>;

    // Copies new files from the file server into the folder; by default a modal CFtpDlg.
    using RunCopy = std::function<int(const std::filesystem::path& folder, const FolderContents& contents)>;

    explicit CFirmwarePage(CRadioSession& session, QWidget* parent = nullptr);
    ~CFirmwarePage() override;

    int Index() const override;
    QString Title() const override { return QStringLiteral("Firmware"); }
    QString HelpTopic() const override { return QStringLiteral("Firmware.htm"); }
    void OnSetActive() override;
    void OnKillActive() override;
    QWidget* InitialFocus() override;
    LResult OnMessage(std::uint32_t code, WParam wParam, LParam lParam) override;

    void SetLoaderRunner(RunLoader run) { m_runLoader = std::move(run); }
    void SetCopyRunner(RunCopy run) { m_runCopy = std::move(run); }
    const FolderContents& Folder() const { return m_folder; }
    bool Sending() const { return m_sending; }

    QLineEdit* FolderEdit() const { return m_folderEdit; }
    QPushButton* DefaultButton() const { return m_default; }
    QPushButton* BrowseButton() const { return m_browse; }
    QPushButton* CheckVersionsButton() const { return m_checkVersions; }
    QPushButton* CopyButton() const { return m_copy; }
    QLabel* InstalledLabel(std::size_t kind) const { return m_installed[kind]; }
    QLabel* AvailableLabel(std::size_t kind) const { return m_available[kind]; }
    QCheckBox* LoadBox(std::size_t kind) const { return m_loadBox[kind]; }
    QLabel* LoadHeader() const { return m_loadHeader; }
    QPushButton* SendFirstButton() const { return m_sendFirst; }
    QPushButton* SendNewerButton() const { return m_sendNewer; }
    QTextEdit* ActivityLog() const { return m_log; }

  private:
    void RefreshAvailable();
    void UpdateButtons();
    void ShowAdvancedMode();
    void SendFirmware(SendButton button);
    void CheckVersionsNow();
    void CopyNewFiles();
    void SetFolderFromEdit();
    void OfferReleaseNotes();
    void AppendLog(const std::string& text);
    FirmwarePageState State() const;

    CPersistable<unsigned long> m_loadCheckbox;
    FolderContents m_folder;
    RunLoader m_runLoader;
    RunCopy m_runCopy;
    bool m_sending = false;
    bool m_registering = false;
    // The folder the missing files were last said for.
    std::optional<std::string> m_missingToldFor;

    CObservation m_advancedModeSeen;
    CObservation m_folderSeen;
    CObservation m_statusSeen;
    CObservation m_versionsSeen;
    CObservation m_loadCheckboxSeen;

    QLineEdit* m_folderEdit = nullptr;
    QPushButton* m_default = nullptr;
    QPushButton* m_browse = nullptr;
    QPushButton* m_checkVersions = nullptr;
    QPushButton* m_copy = nullptr;
    QLabel* m_loadHeader = nullptr;
    std::array<QLabel*, kFirmwareKindCount> m_installed{};
    std::array<QLabel*, kFirmwareKindCount> m_available{};
    std::array<QCheckBox*, kFirmwareKindCount> m_loadBox{};
    QPushButton* m_sendFirst = nullptr;
    QPushButton* m_sendNewer = nullptr;
    QTextEdit* m_log = nullptr;
};

}  // namespace rm7
