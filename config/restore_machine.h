#pragma once
// Restoring a saved configuration: CConfigRestoreStateMachine writes the page runs of a file that
// was read and checked completely, resets the radio's processor and hands over to the contact
// machine, which finds the radio again before the outcome is reported. CConfigRestoreJob is
// everything the "Restore Configuration" dialog decides, so that the Qt dialog only shows and
// forwards.
//
// Threads: UI thread only, like every machine.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "config/auto_backup.h"
#include "config/config_file.h"
#include "config/config_job_view.h"
#include "link/generic_states.h"
#include "link/job_run.h"
#include "platform/job_texts.h"

namespace rm7 {

class CSettingsStore;
class CConfigRestoreStateMachine;

// Writes page run [loop index] as one EEPROM area.
class CConfigRestorePicPromLoopBodyState : public CWritePicPromState<CConfigRestoreStateMachine> {
  public:
    CConfigRestorePicPromLoopBodyState(CStateHost<CConfigRestoreStateMachine>& host, CState* next)
        : CWritePicPromState(host, "ConfigRestorePicPromBody", next, 0, 0, nullptr) {}
    void Init() override;
};

class CConfigRestoreStateMachine : public CProgressBarStateHost<CConfigRestoreStateMachine> {
  public:
    static constexpr std::uint32_t kTimerId = 11;
    static constexpr std::uint32_t kUnitsPerStep = 32;

    explicit CConfigRestoreStateMachine(CRadioSession& session);

    // The bytes to write, from a file read without error.
    void SetRuns(std::vector<PageRun> runs) { m_runs = std::move(runs); }
    const std::vector<PageRun>& Runs() const { return m_runs; }
    std::vector<PageRun>& Runs() { return m_runs; }
    std::uint32_t TotalLength() const;
    // Resets the progress to 0 of the total run length and starts at the speed search; false
    // when already busy.
    bool StartRestore();

    // Ends through ResumeContact: a success is reported only once the contact machine has found
    // the radio again after its reset.
    void OnComplete() override { ResumeContact(); }

    std::uint32_t& LoopIndex() { return m_loopIndex; }
    std::uint32_t LoopCount() const { return static_cast<std::uint32_t>(m_runs.size()); }

    CFindSpeedState<CConfigRestoreStateMachine> m_findSpeed;
    CTextTerminalOffState<CConfigRestoreStateMachine> m_textTerminalOff;
    CLoopInitState<CConfigRestoreStateMachine> m_loopInit;
    CConfigRestorePicPromLoopBodyState m_runWrite;
    CLoopStepState<CConfigRestoreStateMachine> m_loopStep;
    CLoopTestState<CConfigRestoreStateMachine> m_loopTest;
    CResetMcuState<CConfigRestoreStateMachine> m_reset;

  private:
    std::vector<PageRun> m_runs;
    std::uint32_t m_loopIndex = 0;
};

// The "Restore Configuration" dialog without its window.
class CConfigRestoreJob final {
  public:
    static constexpr int kRestored = 1;
    static constexpr int kCancelled = 2;
    static constexpr int kFailed = 3;

    // settings may be null (the folder is then neither loaded nor stored). defaultFolder gives
    // the default configuration folder, creating it, when one is needed.
    CConfigRestoreJob(CRadioSession& session, IConfigJobView& view, CSettingsStore* settings,
                      std::function<std::filesystem::path()> defaultFolder);
    ~CConfigRestoreJob();
    CConfigRestoreJob(const CConfigRestoreJob&) = delete;
    CConfigRestoreJob& operator=(const CConfigRestoreJob&) = delete;

    // The dialog was first shown: asks for the file, reads and checks it, and only then starts.
    void Begin();
    // The Cancel/Close button or the window's close request.
    void CloseRequest();
    // The dialog was hidden or is going away.
    void End();

    CConfigRestoreStateMachine& Machine() { return m_machine; }
    std::string Folder() const { return m_folderSetting.Get(); }
    std::optional<Result> LastResult() const { return m_lastResult; }
    bool IsBusy() const { return m_busy.IsBusy(); }

  private:
    // Shows the reader's messages in the dialog's own boxes.
    class CReaderNotifier final : public IUserNotifier {
      public:
        CReaderNotifier(CModel& model, IConfigJobView& view) : m_model(model), m_view(view) {}
        void StatusText(const std::string& text) override { m_model.StatusText(text); }
        void MessageBox(const std::string& caption, const std::string& text, MessageIcon icon) override;
        bool AskYesNo(const std::string& caption, const std::string& text, MessageIcon icon) override;

      private:
        CModel& m_model;
        IConfigJobView& m_view;
    };

    void OnCompletion(Result r);
    // The backup before the restore ended: goes on, or (after a failure the user does not
    // accept) ends the dialog with nothing written.
    void OnBackup(const BackupOutcome& outcome);

    CModel& m_model;
    IConfigJobView& m_view;
    CSettingsStore* m_settings;
    std::function<std::filesystem::path()> m_defaultFolder;
    CConfigRestoreStateMachine m_machine;
    CReaderNotifier m_readerNotifier;
    CJobRun m_run;
    CAutoBackup m_backup;
    CPersistable<std::string> m_folderSetting;
    std::optional<Result> m_lastResult;
    CBusyCount m_busy{m_view};
};

inline constexpr const char* kConfigRestoredText = "Configuration was restored";
inline constexpr const char* kRestoreCancelledText = "Restore configuration was cancelled";
inline constexpr const char* kRestoreFailedText = "Failed to restore configuration";
inline constexpr const char* kInterruptRestoreQuestion = "Are you sure you wish to interrupt configuration restore?";
inline constexpr const char* kRestoreInterruptedText =
    "Restore was cancelled. Turn power off and back on, then restore configuration.";

}  // namespace rm7
