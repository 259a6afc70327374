// Which files are one radio's backups, and which of them the pruning removes.
#include <gtest/gtest.h>

#include <set>

#include "config/auto_backup.h"
#include "platform/format.h"
#include "tests/support/firmware_files.h"
#include "tests/support/temp_folder.h"

namespace rm7 {
namespace {

std::set<std::string> Names(const std::filesystem::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

TEST(AutoBackup, NamesCarryTheRadioTheTimeAndTheJob) {
    const SavedAtTime t{2026, 12, 10, 10, 15, 0};
    EXPECT_EQ(BackupFileName(1234, t, BackupReason::kFirmware), "SN01234.20261210T101500.before-firmware.RM7Config");
    EXPECT_EQ(BackupFileName(kNoSerialNumber, t, BackupReason::kRestore), "20261210T101500.before-restore.RM7Config");
    EXPECT_EQ(BackupFileName(7, t, BackupReason::kTxGain), "SN00007.20261210T101500.before-txgain.RM7Config");
}

// The oldest go by the time in their names (not by the job, nor by the order they were made);
// another radio's backups, a saved configuration and a look-alike stay.
TEST(AutoBackup, PruningKeepsTheNewestOfOneRadioOnly) {
    test::CTempFolder dir;
    std::set<std::string> expected;
    for (int i = 0; i < 23; ++i) {
        // Made newest first, and with the jobs alternating, so neither order tells the age.
        const SavedAtTime t{2026, 12, 10, 10, static_cast<std::uint16_t>(40 - i), 0};
        const std::string name = BackupFileName(1234, t, i % 2 ? BackupReason::kRestore : BackupReason::kFirmware);
        test::WriteFile(dir / name, "x");
        if (i < 20) {
            expected.insert(name);
        }
    }
    const std::string others[] = {
        BackupFileName(4321, {2020, 1, 1, 0, 0, 0}, BackupReason::kFirmware),
        BackupFileName(kNoSerialNumber, {2020, 1, 1, 0, 0, 0}, BackupReason::kFirmware),
        "SN01234.20200101T000000.RM7Config",                  // a save, not a backup
        "SN01234.2020010XT000000.before-firmware.RM7Config",  // no time in it
        "SN01234.20200101T000000.before-firmware.RM7Config.tmp",
    };
    for (const std::string& name : others) {
        test::WriteFile(dir / name, "x");
        expected.insert(name);
    }
    EXPECT_EQ(PruneBackups(dir.Path(), 1234).size(), 3u);
    EXPECT_EQ(Names(dir.Path()), expected);
    EXPECT_TRUE(PruneBackups(dir.Path(), 1234).empty()) << "20 are kept";
    // The radio without a serial number has backups of its own.
    EXPECT_EQ(PruneBackups(dir.Path(), kNoSerialNumber, 0).size(), 1u);
    EXPECT_TRUE(PruneBackups(dir / "missing", 1234).empty());
}

// Two jobs within one second: the second backup gets a name of its own, and counts as the newer.
TEST(AutoBackup, ABackupWithinTheSameSecondOverwritesNone) {
    test::CTempFolder dir;
    const SavedAtTime t{2026, 12, 10, 10, 15, 0};
    const auto first = NewBackupPath(dir.Path(), 1234, t, BackupReason::kRestore);
    EXPECT_EQ(first.filename(), "SN01234.20261210T101500.before-restore.RM7Config");
    test::WriteFile(first, "first");
    const auto second = NewBackupPath(dir.Path(), 1234, t, BackupReason::kRestore);
    EXPECT_EQ(second.filename(), "SN01234.20261210T101500-2.before-restore.RM7Config");
    test::WriteFile(second, "second");
    const auto third = NewBackupPath(dir.Path(), 1234, t, BackupReason::kRestore);
    EXPECT_EQ(third.filename(), "SN01234.20261210T101500-3.before-restore.RM7Config");
    test::WriteFile(third, "third");
    // Keeping two drops the first of that second, not the numbered ones.
    EXPECT_EQ(PruneBackups(dir.Path(), 1234, 2), std::vector<std::filesystem::path>{first});
    EXPECT_TRUE(std::filesystem::exists(second));
    EXPECT_TRUE(std::filesystem::exists(third));
}

}  // namespace
}  // namespace rm7
