#include "config/job_backup.h"

#include <utility>

namespace rm7 {

CJobBackup::CJobBackup(CRadioSession& session, BackupReason reason, AutoBackupSettings settings,
                       std::function<SavedAtTime()> now)
    : m_reason(reason), m_backup(session, std::move(settings), std::move(now)) {}

void CJobBackup::Run(std::function<void(const IJobBackup::Outcome&)> done) {
    m_backup.Run(m_reason, [this, done = std::move(done)](const BackupOutcome& outcome) {
        m_last = outcome;
        IJobBackup::Outcome o;
        o.mayGoOn = outcome.MayGoOn();
        o.code = outcome.code;
        o.file = outcome.kind == BackupOutcome::Kind::kWritten ? outcome.file : std::filesystem::path();
        o.line = outcome.Text();
        o.goOnQuestion = {JobQuestion::Kind::kGoOnWithoutBackup, kBackupFailedCaption, BackupFailedQuestion(outcome),
                          MessageIcon::Warning};
        o.notStarted = kJobNotStartedText;
        done(o);
    });
}

}  // namespace rm7
