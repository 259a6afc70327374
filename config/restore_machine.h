#pragma once
// Restoring a saved configuration: CConfigRestoreStateMachine writes the page runs of a file that
// was read and checked completely, resets the radio's processor and hands over to the contact
// machine, which finds the radio again before the outcome is reported. CConfigRestoreJob is the
// job around it, run through the job shell.
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
#include "config/job_backup.h"
#include "link/generic_states.h"
#include "link/job_run.h"
#include "link/job_shell.h"
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
    static constexpr std::uint32_t kTimerId = kTimerConfigRestore;
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

// The configuration restore, as the "Restore Configuration" dialog and `rm7util config restore`
// run it through the job shell: the file read and checked whole, the backup, the writes, the reset
// and the contact that finds the radio again; the outcome names the backup.
class CConfigRestoreJob final {
  public:
    static constexpr int kRestored = 1;
    static constexpr int kCancelled = 2;
    static constexpr int kFailed = 3;

    // What the dialog asks before the restore: the file, and (the reader, for another radio's
    // file) a question it waits for, in answer to the user's own choice of file.
    struct Prompts {
        std::function<std::optional<std::filesystem::path>(const std::filesystem::path& folder)> openFile;
        std::function<bool(const std::string& caption, const std::string& text, MessageIcon icon)> askNow;
    };

    // settings may be null (the folder is then neither loaded nor stored). defaultFolder gives
    // the default configuration folder, creating it, when one is needed. backup: the backup made
    // first (the "AutoBackup" setting; rm7util's --no-backup turns it off).
    CConfigRestoreJob(CRadioSession& session, IJobView& view, CSettingsStore* settings,
                      std::function<std::filesystem::path()> defaultFolder, AutoBackupSettings backup,
                      std::function<SavedAtTime()> now = {});
    ~CConfigRestoreJob();
    CConfigRestoreJob(const CConfigRestoreJob&) = delete;
    CConfigRestoreJob& operator=(const CConfigRestoreJob&) = delete;

    // The dialog was first shown: asks for the file, reads and checks it, and only then starts.
    // False when no file was chosen (nothing ran: the dialog ends as cancelled); a file that is
    // refused ends the job as failed, with the reader's box.
    bool Begin(const Prompts& prompts);
    // Restores runs read from file (rm7util, and Begin once the file is read).
    void Start(std::vector<PageRun> runs, const std::filesystem::path& file);
    // The Cancel button, the window's close, Ctrl-C: asks, then stops at the next block.
    StopRequest Cancel() { return m_shell.RequestStop(); }
    // The dialog was hidden or is going away.
    void End();

    CConfigRestoreStateMachine& Machine() { return m_machine; }
    CJobShell& Shell() { return m_shell; }
    std::string Folder() const { return m_folderSetting.Get(); }
    std::optional<Result> LastResult() const { return m_shell.LastResult(); }
    bool IsBusy() const { return m_shell.Busy(); }

  private:
    // Shows the reader's messages in the job's boxes.
    class CReaderNotifier final : public IUserNotifier {
      public:
        explicit CReaderNotifier(CConfigRestoreJob& job) : m_job(job) {}
        void StatusText(const std::string& text) override { m_job.m_model.StatusText(text); }
        void MessageBox(const std::string& caption, const std::string& text, MessageIcon icon) override;
        bool AskYesNo(const std::string& caption, const std::string& text, MessageIcon icon) override;

      private:
        CConfigRestoreJob& m_job;
    };

    JobOutcome Finish(Result r);

    CModel& m_model;
    CSettingsStore* m_settings;
    std::function<std::filesystem::path()> m_defaultFolder;
    CConfigRestoreStateMachine m_machine;
    CReaderNotifier m_readerNotifier{*this};
    CJobBackup m_backup;
    CJobShell m_shell;
    CPersistable<std::string> m_folderSetting;
    std::filesystem::path m_file;
    Prompts m_prompts;
};

inline constexpr const char* kConfigRestoredText = "Configuration was restored";
inline constexpr const char* kRestoreCancelledText = "Restore configuration was cancelled";
inline constexpr const char* kRestoreFailedText = "Failed to restore configuration";
inline constexpr const char* kInterruptRestoreQuestion = "Are you sure you wish to interrupt configuration restore?";
inline constexpr const char* kRestoreInterruptedText =
    "Restore was cancelled. Turn power off and back on, then restore configuration.";
inline constexpr const char* kRestoreStepText = "Writing configuration";
inline constexpr const char* kRestoreAgainText =
    "Turn the radio off and back on, then restore the configuration again.";

}  // namespace rm7
