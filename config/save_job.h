#pragma once
// CConfigSaveJob: the job around the save machine, run through the job shell by the "Save
// Configuration" dialog and by rm7util alike; and the configuration folder both start in.
//
// Threads: UI thread only, like the machine it owns.
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "config/config_file.h"
#include "config/config_folder.h"
#include "config/config_job_view.h"
#include "config/save_machine.h"
#include "link/job_run.h"
#include "link/job_shell.h"

namespace rm7 {

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

}  // namespace rm7
