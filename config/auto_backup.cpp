#include "config/auto_backup.h"

#include <algorithm>
#include <ctime>
#include <system_error>

#include "config/config_folder.h"
#include "model/messages.h"
#include "platform/error_text.h"
#include "platform/format.h"
#include "platform/paths.h"
#include "platform/settings.h"

namespace rm7 {
namespace {

constexpr std::size_t kStampLength = 15;  // 20261210T101500

// The sort key of one radio's backup file name (its time, then its number within that second),
// or "" when the name is not one.
std::string BackupStamp(const std::string& name, std::uint16_t serialNumber) {
    std::string rest = name;
    if (serialNumber != kNoSerialNumber) {
        const std::string prefix = StrFormat("SN%05u.", serialNumber);
        if (rest.rfind(prefix, 0) != 0) {
            return {};
        }
        rest.erase(0, prefix.size());
    }
    const std::string suffix = std::string(".") + kConfigurationFileExtension;
    if (rest.size() < kStampLength + suffix.size() ||
        rest.compare(rest.size() - suffix.size(), suffix.size(), suffix) != 0) {
        return {};
    }
    for (std::size_t i = 0; i < kStampLength; ++i) {
        const bool ok = i == 8 ? rest[i] == 'T' : rest[i] >= '0' && rest[i] <= '9';
        if (!ok) {
            return {};
        }
    }
    // "-N" when a backup of that second was there already.
    std::size_t at = kStampLength;
    unsigned number = 1;
    if (at < rest.size() && rest[at] == '-') {
        const std::size_t digits = rest.find_first_not_of("0123456789", at + 1);
        if (digits == std::string::npos || digits == at + 1 || digits - at - 1 > 6) {
            return {};
        }
        number = static_cast<unsigned>(std::stoul(rest.substr(at + 1, digits - at - 1)));
        at = digits;
    }
    if (rest.compare(at, 8, ".before-") != 0) {
        return {};
    }
    return rest.substr(0, kStampLength) + StrFormat("-%06u", number);
}

}  // namespace

const char* BackupReasonTag(BackupReason reason) {
    switch (reason) {
        case BackupReason::kFirmware:
            return "firmware";
        case BackupReason::kRestore:
            return "restore";
        case BackupReason::kTxGain:
            return "txgain";
    }
    return "job";
}

std::filesystem::path DefaultBackupFolder() {
    return DataHome() / "Tarnwell" / "RM7 Utility" / "backups";
}

std::string BackupFileName(std::uint16_t serialNumber, const SavedAtTime& t, BackupReason reason) {
    const std::string prefix = serialNumber == kNoSerialNumber ? std::string() : StrFormat("SN%05u.", serialNumber);
    return StrFormat("%s%04u%02u%02uT%02u%02u%02u.before-%s.%s", prefix.c_str(), t.year, t.month, t.day, t.hour,
                     t.minute, t.second, BackupReasonTag(reason), kConfigurationFileExtension);
}

std::filesystem::path NewBackupPath(const std::filesystem::path& folder, std::uint16_t serialNumber,
                                    const SavedAtTime& savedAt, BackupReason reason) {
    std::string name = BackupFileName(serialNumber, savedAt, reason);
    const std::size_t stampEnd = name.find(".before-");
    std::error_code ec;
    for (unsigned n = 2; std::filesystem::exists(folder / name, ec) && n < 1000; ++n) {
        name = BackupFileName(serialNumber, savedAt, reason).insert(stampEnd, StrFormat("-%u", n));
    }
    return folder / name;
}

std::vector<std::filesystem::path> PruneBackups(const std::filesystem::path& folder, std::uint16_t serialNumber,
                                                const std::filesystem::path& justWritten, std::size_t keep) {
    std::vector<std::pair<std::string, std::filesystem::path>> backups;
    bool justWrittenIsThere = false;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (!it->is_regular_file(ec)) {
            continue;
        }
        const std::string name = it->path().filename().string();
        const std::string stamp = BackupStamp(name, serialNumber);
        if (stamp.empty()) {
            continue;
        }
        // The new backup counts as the newest whatever its name says: the clock that named it may
        // be behind the others', or it may have taken a name that pruning freed.
        if (!justWritten.empty() && name == justWritten.filename().string()) {
            justWrittenIsThere = true;
            continue;
        }
        backups.emplace_back(stamp, it->path());
    }
    std::vector<std::filesystem::path> removed;
    const std::size_t othersKept = justWrittenIsThere ? (keep > 0 ? keep - 1 : 0) : keep;
    if (backups.size() <= othersKept) {
        return removed;
    }
    std::sort(backups.begin(), backups.end());
    for (std::size_t i = 0; i + othersKept < backups.size(); ++i) {
        if (std::filesystem::remove(backups[i].second, ec)) {
            removed.push_back(backups[i].second);
        }
    }
    return removed;
}

AutoBackupSettings ReadAutoBackupSettings(const CSettingsStore* settings) {
    AutoBackupSettings out;
    std::uint32_t value = 1;
    if (settings && settings->ReadDword("", kAutoBackupSetting, value) == kOk) {
        out.enabled = value != 0;
    }
    return out;
}

std::string BackupOutcome::Text() const {
    switch (kind) {
        case Kind::kWritten:
            return StrFormat("The configuration was backed up to %s", file.string().c_str());
        case Kind::kOff:
            return "No configuration backup was made: automatic backup is off";
        case Kind::kBootLoader:
            return "The radio is in its boot loader: its configuration cannot be read, so no backup was made";
        case Kind::kFailed:
            return FailureLead() + ": " + ErrorCodeText(code);
    }
    return {};
}

std::string BackupOutcome::FailureLead() const {
    return file.empty() ? "The configuration backup failed"
                        : "The configuration backup could not be written into " + file.string();
}

std::string BackupFailedQuestion(const BackupOutcome& outcome) {
    return outcome.Text() + ".\n\nGo on without a backup?";
}

CAutoBackup::CAutoBackup(CRadioSession& session, AutoBackupSettings settings, std::function<SavedAtTime()> now)
    : m_session(session), m_settings(std::move(settings)), m_now(std::move(now)), m_machine(session) {
    if (m_settings.folder.empty()) {
        const std::string& forRun = session.Model().backupFolderForRun;
        m_settings.folder = forRun.empty() ? DefaultBackupFolder() : std::filesystem::path(forRun);
    }
    if (!m_now) {
        m_now = [] { return SavedAtFromLocalTime(std::time(nullptr)); };
    }
}

CAutoBackup::~CAutoBackup() {
    Release();
}

void CAutoBackup::Release() {
    m_done = nullptr;
    m_session.Pump().Forget(this);
    if (m_run) {
        // A read still going stops at its next step; nobody waits for it.
        rm7::RequestStop(m_machine);
        m_run->Release();
    }
}

bool CAutoBackup::Stop() {
    return m_run && m_run->Running() && rm7::RequestStop(m_machine) == StopRequest::kStopping;
}

void CAutoBackup::Run(BackupReason reason, std::function<void(const BackupOutcome&)> done) {
    m_reason = reason;
    m_done = std::move(done);
    if (!m_settings.enabled) {
        Finish({BackupOutcome::Kind::kOff});
        return;
    }
    if (m_session.Model().firmwareStatus.Get() == kFirmwareBootLoader) {
        Finish({BackupOutcome::Kind::kBootLoader});
        return;
    }
    m_savedAt = m_now();
    m_run = std::make_unique<CJobRun>(m_session, m_machine, [this](Result r) {
        m_run->Release();
        if (r != kOk) {
            Finish({BackupOutcome::Kind::kFailed, {}, r});
            return;
        }
        CModel& model = m_session.Model();
        const std::uint16_t serial = model.serialNumber.Get();
        Result written = EnsureDirectory(m_settings.folder);
        const std::filesystem::path file = NewBackupPath(m_settings.folder, serial, m_savedAt, m_reason);
        if (written == kOk) {
            written =
                WriteConfigurationFile(file, m_savedAt, m_machine.Image(), {model.FirmwareVersionText(0), serial});
        }
        if (written != kOk) {
            // Named, so that the user can see what stands in the way.
            Finish({BackupOutcome::Kind::kFailed, m_settings.folder, written});
            return;
        }
        PruneBackups(m_settings.folder, serial, file);
        // Named only when it is there to be found.
        std::error_code ec;
        if (!std::filesystem::is_regular_file(file, ec)) {
            Finish({BackupOutcome::Kind::kFailed, m_settings.folder, kErrorFileNotFound});
            return;
        }
        Finish({BackupOutcome::Kind::kWritten, file});
    });
    m_run->Start([this] { return m_machine.StartSave(); });
}

void CAutoBackup::Finish(BackupOutcome outcome) {
    m_outcome = std::move(outcome);
    m_session.Pump().Post(this, kMsgBackupDone);
}

LResult CAutoBackup::OnMessage(std::uint32_t code, WParam, LParam) {
    if (code != kMsgBackupDone) {
        return 0;
    }
    if (m_outcome.MayGoOn()) {
        // A failure is the job's to tell: it asks, or rm7util ends with it.
        m_session.Model().StatusText(m_outcome.Text());
    }
    // The handler may start the job, or destroy this: nothing of this is touched after it.
    const auto done = std::move(m_done);
    m_done = nullptr;
    const BackupOutcome outcome = m_outcome;
    if (done) {
        done(outcome);
    }
    return 0;
}

}  // namespace rm7
