#pragma once
// Saving the radio's configuration: CConfigSaveStateMachine reads the seven configuration ranges
// of the EEPROM into an image, and CConfigSaveJob is the job around it, run through the job shell
// by the "Save Configuration" dialog and by rm7util alike.
//
// Threads: UI thread only, like every machine.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "config/config_file.h"
#include "config/config_job_view.h"
#include "config/eeprom_map.h"
#include "link/generic_states.h"
#include "link/job_run.h"
#include "link/job_shell.h"

namespace rm7 {

class CSettingsStore;
class CConfigSaveStateMachine;

// Reads configuration range [loop index] into the machine's image.
class CConfigSavePicPromLoopBodyState : public CReadPicPromState<CConfigSaveStateMachine> {
  public:
    CConfigSavePicPromLoopBodyState(CStateHost<CConfigSaveStateMachine>& host, CState* next)
        : CReadPicPromState(host, "ConfigSavePicPromBody", next, 0, 0, nullptr) {}
    void Init() override;
};

class CConfigSaveStateMachine : public CProgressBarStateHost<CConfigSaveStateMachine> {
  public:
    static constexpr std::uint32_t kTimerId = kTimerConfigSave;
    static constexpr std::uint32_t kUnitsPerStep = 32;

    explicit CConfigSaveStateMachine(CRadioSession& session);

    // Resets the progress to 0 of 1562 and starts at loop init; false when already busy.
    bool StartSave();

    const EepromImage& Image() const { return *m_image; }
    EepromImage& Image() { return *m_image; }
    std::uint32_t& LoopIndex() { return m_loopIndex; }
    std::uint32_t LoopCount() const { return static_cast<std::uint32_t>(kConfigurationRanges.size()); }

    CLoopInitState<CConfigSaveStateMachine> m_loopInit;
    CFindSpeedState<CConfigSaveStateMachine> m_findSpeed;
    CTextTerminalOffState<CConfigSaveStateMachine> m_textTerminalOff;
    CConfigSavePicPromLoopBodyState m_rangeRead;
    CLoopStepState<CConfigSaveStateMachine> m_loopStep;
    CLoopTestState<CConfigSaveStateMachine> m_loopTest;

  private:
    std::uint32_t m_loopIndex = 0;
    std::unique_ptr<EepromImage> m_image;
};

// The folder the configuration dialogs start in: the stored one while it is an existing folder,
// else the default, which is then what the setting holds. (A stored folder that has gone away
// would otherwise leave the file dialog somewhere arbitrary.)
std::filesystem::path ResolveConfigurationFolder(CPersistable<std::string>& folderSetting,
                                                 const std::function<std::filesystem::path()>& defaultFolder);

// Loads the folder setting; on the way out stores it, and writes the settings file, when a
// non-empty value changed.
void LoadFolderSetting(CPersistable<std::string>& folderSetting, const CSettingsStore* settings);
void StoreFolderSetting(CPersistable<std::string>& folderSetting, CSettingsStore* settings);

// The configuration save, as the "Save Configuration" dialog and `rm7util config save` run it:
// the file's folder and name, the reads through the job shell, the file, and the outcome.
class CConfigSaveJob final {
  public:
    // The dialog's result codes.
    static constexpr int kSaved = 1;
    static constexpr int kCancelled = 2;
    static constexpr int kFailed = 3;

    // The file dialog: the folder it opens in and the name it proposes; nothing when the user
    // cancels.
    using AskFile = std::function<std::optional<std::filesystem::path>(const std::filesystem::path& folder,
                                                                       const std::string& proposedName)>;

    // settings may be null (the folder is then neither loaded nor stored). defaultFolder gives
    // the default configuration folder, creating it, when one is needed.
    CConfigSaveJob(CRadioSession& session, IJobView& view, CSettingsStore* settings, SavedAtTime savedAt,
                   std::function<std::filesystem::path()> defaultFolder);
    ~CConfigSaveJob();
    CConfigSaveJob(const CConfigSaveJob&) = delete;
    CConfigSaveJob& operator=(const CConfigSaveJob&) = delete;

    // The dialog was first shown: asks for the file and starts the reads; false when no file was
    // chosen (nothing ran: the dialog ends as cancelled).
    bool Begin(const AskFile& askFile);
    // Reads the radio into file (rm7util, and Begin once a file is chosen).
    void Start(const std::filesystem::path& file);
    // The Cancel button, the window's close, Ctrl-C: the reads stop at their next step.
    StopRequest Cancel() { return m_shell.RequestStop(); }
    // The dialog was hidden or is going away: no more notices, no active machine.
    void End();

    // The name proposed in the folder, for the radio the contact found.
    std::string ProposedName() const;
    CConfigSaveStateMachine& Machine() { return m_machine; }
    CJobShell& Shell() { return m_shell; }
    const std::filesystem::path& ChosenPath() const { return m_chosenPath; }
    std::string Folder() const { return m_folderSetting.Get(); }
    std::optional<Result> LastResult() const { return m_shell.LastResult(); }
    bool IsBusy() const { return m_shell.Busy(); }

  private:
    JobOutcome Finish(Result r);

    CModel& m_model;
    CSettingsStore* m_settings;
    SavedAtTime m_savedAt;
    std::function<std::filesystem::path()> m_defaultFolder;
    CConfigSaveStateMachine m_machine;
    CJobShell m_shell;
    CPersistable<std::string> m_folderSetting;
    std::filesystem::path m_chosenPath;
};

// Status texts and captions of the save.
inline constexpr const char* kConfigSavedText = "Configuration was saved";
inline constexpr const char* kSaveCancelledText = "Save configuration was cancelled";
inline constexpr const char* kSaveFailedText = "Failed to save configuration";
inline constexpr const char* kSaveErrorCaption = "Save Configuration Error";
inline constexpr const char* kSaveStepText = "Reading configuration";
inline constexpr const char* kConfigurationFolderSetting = "ConfigurationFolder";

}  // namespace rm7
