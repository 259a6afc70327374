#include "cli/backup_step.h"

#include <optional>

#include "platform/error_text.h"
#include "platform/paths.h"
#include "platform/settings.h"

namespace rm7::cli {

int BackUpBeforeJob(CSession& session, BackupReason reason) {
    CSettingsStore settings(SettingsFilePath());
    settings.Load();
    AutoBackupSettings backupSettings = ReadAutoBackupSettings(&settings);
    if (session.Options().noBackup) {
        backupSettings.enabled = false;
    }
    CAutoBackup backup(session.Radio(), backupSettings);
    std::optional<BackupOutcome> outcome;
    backup.Run(reason, [&outcome](const BackupOutcome& o) { outcome = o; });
    if (!session.RunUntil([&] { return outcome.has_value(); }, 10 * 60 * 1000)) {
        outcome = BackupOutcome{BackupOutcome::Kind::kFailed, {}, kErrorTimeout};
    }
    if (outcome->MayGoOn()) {
        return 0;
    }
    const int status =
        ReportFailure(session.Env().Err(), outcome->code, outcome->FailureLead() + ": " + ErrorText(outcome->code));
    session.Env().Err() << "Nothing was changed on the radio. Give --no-backup to go on without a backup.\n";
    return status;
}

}  // namespace rm7::cli
