#pragma once
// The automatic backup a risky job (a firmware load, a configuration restore, a TX gain
// calibration) makes first: the radio's configuration, read by the configuration save machine
// and written as an ordinary configuration file into the backups folder, the last 20 per radio
// kept. Every decision lives here; the GUI, rm7util and the jobs only start it and act on its
// outcome.
//
// How a job uses it:
//     CAutoBackup backup(session, AutoBackupSettings(model.Settings()));
//     backup.Run(BackupReason::kTxGain, [&](const BackupOutcome& outcome) {
//         log(outcome.Text());
//         if (outcome.MayGoOn()) start the job; else ask (GUI) or stop (rm7util, --no-backup);
//     });
//
// Threads: UI thread only, like every machine. The outcome is handed over from the event loop,
// never from inside a radio callback, so its handler may ask the user before going on.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "config/config_file.h"
#include "config/save_machine.h"
#include "link/job_run.h"
#include "link/radio_session.h"
#include "platform/result.h"

namespace rm7 {

class CSettingsStore;

inline constexpr const char* kAutoBackupSetting = "AutoBackup";
inline constexpr std::size_t kBackupsKept = 20;

// The job a backup is made before; its tag names the file ("before-firmware").
enum class BackupReason { kFirmware, kRestore, kTxGain };
const char* BackupReasonTag(BackupReason reason);

// <data dir>/Tarnwell/RM7 Utility/backups
std::filesystem::path DefaultBackupFolder();
// "SN01234.20261210T101500.before-firmware.RM7Config"; without "SNnnnnn." for a radio that has
// no serial number.
std::string BackupFileName(std::uint16_t serialNumber, const SavedAtTime& savedAt, BackupReason reason);
// The folder's path for a new backup: BackupFileName(), or, when a file of that name is there
// already (two jobs within a second), the same with "-2", "-3"... after the time, so that no
// earlier backup is overwritten.
std::filesystem::path NewBackupPath(const std::filesystem::path& folder, std::uint16_t serialNumber,
                                    const SavedAtTime& savedAt, BackupReason reason);
// Keeps keep backups of one radio: justWritten (when given) and the newest of the others by the
// time in their names; removes the rest. justWritten is never removed, even when the computer's
// clock is behind the others' names. Other radios' backups and files that are no backups are
// left alone. Returns what it removed.
std::vector<std::filesystem::path> PruneBackups(const std::filesystem::path& folder, std::uint16_t serialNumber,
                                                const std::filesystem::path& justWritten,
                                                std::size_t keep = kBackupsKept);

struct AutoBackupSettings {
    bool enabled = true;
    std::filesystem::path folder;  // empty: the model's backupFolderForRun, else DefaultBackupFolder()
};
// The "AutoBackup" setting (on unless it holds 0); settings may be null.
AutoBackupSettings ReadAutoBackupSettings(const CSettingsStore* settings);

struct BackupOutcome {
    enum class Kind {
        kWritten,     // file holds the configuration
        kOff,         // the setting or --no-backup turned it off
        kBootLoader,  // a radio in its boot loader cannot be read
        kFailed,      // code says why; the job stops unless the user goes on anyway
    };
    Kind kind = Kind::kOff;
    std::filesystem::path file;  // written; when the folder could not be written, the folder
    Result code = kOk;

    bool MayGoOn() const { return kind != Kind::kFailed; }
    // The line for the log and rm7util: where it went, or why there is none.
    std::string Text() const;
    // A failure's first words: "The configuration backup failed", or which folder could not be
    // written; the reason follows.
    std::string FailureLead() const;
};

// The question the GUI asks after a failed backup; Yes goes on without one.
inline constexpr const char* kBackupFailedCaption = "Configuration Backup";
std::string BackupFailedQuestion(const BackupOutcome& outcome);
// The log line when the user answers No.
inline constexpr const char* kJobNotStartedText = "The job was not started: nothing was changed on the radio";

class CAutoBackup final : private IMessageTarget {
  public:
    // now gives the local time that names the file (default: the computer's clock).
    CAutoBackup(CRadioSession& session, AutoBackupSettings settings, std::function<SavedAtTime()> now = {});
    ~CAutoBackup();
    CAutoBackup(const CAutoBackup&) = delete;
    CAutoBackup& operator=(const CAutoBackup&) = delete;

    // Reads the radio and writes the backup, then calls done once with the outcome, always after
    // Run has returned. The outcome's text also goes to the status line, unless it is a failure.
    void Run(BackupReason reason, std::function<void(const BackupOutcome&)> done);
    // The user closed the job's window while the radio is read: the read stops at its next
    // step, and the outcome is a failure with kErrorCancelled. False when no read is running.
    bool Stop();
    // The owner is going away: no outcome comes, a read still going is stopped, and the active
    // machine is given up.
    void Release();
    bool Running() const { return m_run && m_run->Running(); }
    CConfigSaveStateMachine& Machine() { return m_machine; }

  private:
    LResult OnMessage(std::uint32_t code, WParam wParam, LParam lParam) override;
    void Finish(BackupOutcome outcome);

    CRadioSession& m_session;
    AutoBackupSettings m_settings;
    std::function<SavedAtTime()> m_now;
    CConfigSaveStateMachine m_machine;
    std::unique_ptr<CJobRun> m_run;
    BackupReason m_reason = BackupReason::kFirmware;
    SavedAtTime m_savedAt;
    BackupOutcome m_outcome;
    std::function<void(const BackupOutcome&)> m_done;
};

}  // namespace rm7
