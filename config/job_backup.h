#pragma once
// CJobBackup: the one home of "back up the configuration before a firmware load, a restore or a
// calibration". A risky job owns one and hands it to its CJobShell (SetBackup); the shell runs it
// before the machine, logs its line, and on a failure asks whether to go on without one. What
// the backup itself decides (the setting, the folder, the names, the pruning) is CAutoBackup's.
//
// Threads: UI thread only.
#include "config/auto_backup.h"
#include "link/job_shell.h"

namespace rm7 {

class CJobBackup final : public IJobBackup {
  public:
    // settings: the "AutoBackup" setting and folder; off (rm7util's --no-backup) makes none.
    CJobBackup(CRadioSession& session, BackupReason reason, AutoBackupSettings settings,
               std::function<SavedAtTime()> now = {});

    void Run(std::function<void(const IJobBackup::Outcome&)> done) override;
    bool Stop() override { return m_backup.Stop(); }
    void Release() override { m_backup.Release(); }

    CAutoBackup& Backup() { return m_backup; }
    // The last outcome as CAutoBackup gave it.
    const BackupOutcome& Last() const { return m_last; }

  private:
    BackupReason m_reason;
    CAutoBackup m_backup;
    BackupOutcome m_last;
};

}  // namespace rm7
