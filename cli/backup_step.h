#pragma once
// The backup rm7util makes before a firmware load, a configuration restore or a TX gain
// calibration, once the radio has been contacted.
#include "cli/session.h"
#include "config/auto_backup.h"

namespace rm7::cli {

// Runs the backup (unless --no-backup or the "AutoBackup" setting turns it off); its line goes
// to standard error. Returns 0 when the job may go on, else the exit status of a failed backup.
int BackUpBeforeJob(CSession& session, BackupReason reason);

}  // namespace rm7::cli
