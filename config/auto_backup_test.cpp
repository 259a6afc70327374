// Which files are one radio's backups, and which of them the pruning removes.
#include <gtest/gtest.h>

#include <optional>
#include <set>

#include "config/auto_backup.h"
#include "platform/format.h"
#include "tests/support/firmware_files.h"
#include "tests/support/radio_bench.h"
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
    EXPECT_EQ(PruneBackups(dir.Path(), 1234, {}).size(), 3u);
    EXPECT_EQ(Names(dir.Path()), expected);
    EXPECT_TRUE(PruneBackups(dir.Path(), 1234, {}).empty()) << "20 are kept";
    // The radio without a serial number has backups of its own.
    EXPECT_EQ(PruneBackups(dir.Path(), kNoSerialNumber, {}, 0).size(), 1u);
    EXPECT_TRUE(PruneBackups(dir / "missing", 1234, {}).empty());
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
    EXPECT_EQ(PruneBackups(dir.Path(), 1234, {}, 2), std::vector<std::filesystem::path>{first});
    EXPECT_TRUE(std::filesystem::exists(second));
    EXPECT_TRUE(std::filesystem::exists(third));
}

// A backup of radio 1234 made at hour:minute on 2026-12-10, "-n" after the time when n > 1.
std::string At(int hour, int minute, int n = 1) {
    std::string name =
        BackupFileName(1234, {2026, 12, 10, static_cast<std::uint16_t>(hour), static_cast<std::uint16_t>(minute), 0},
                       BackupReason::kFirmware);
    if (n > 1) {
        name.insert(name.find(".before-"), StrFormat("-%d", n));
    }
    return name;
}

// Backups at count minutes in a row from hour:from.
std::vector<std::string> Minutes(int hour, int from, int count) {
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) {
        names.push_back(At(hour, from + i));
    }
    return names;
}

// The backup just written stays, whatever its name says beside the others'; of the others, the
// oldest by the time in their names go.
TEST(AutoBackup, TheBackupJustWrittenIsNeverPruned) {
    std::vector<std::string> sameSecond;
    for (int n = 2; n <= 21; ++n) {
        sameSecond.push_back(At(10, 15, n));
    }
    struct Case {
        const char* what;
        std::vector<std::string> before;  // in the folder already
        std::string written;
        std::vector<std::string> removed;
    };
    std::vector<std::string> earlierAndLater = Minutes(9, 0, 5);
    for (const std::string& name : Minutes(11, 0, 20)) {
        earlierAndLater.push_back(name);
    }
    const Case cases[] = {
        {"the clock behind 20 backups", Minutes(11, 0, 20), At(10, 15), {At(11, 0)}},
        {"the clock behind 25 backups", Minutes(11, 0, 25), At(10, 15), Minutes(11, 0, 6)},
        {"a name freed by pruning", sameSecond, At(10, 15), {At(10, 15, 2)}},
        {"older and newer beside it",
         earlierAndLater,
         At(10, 15),
         {At(9, 0), At(9, 1), At(9, 2), At(9, 3), At(9, 4), At(11, 0)}},
        {"19 newer: nothing goes", Minutes(11, 0, 19), At(10, 15), {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::CTempFolder dir;
        for (const std::string& name : c.before) {
            test::WriteFile(dir / name, "x");
        }
        test::WriteFile(dir / c.written, "new");
        std::set<std::string> expectedRemoved(c.removed.begin(), c.removed.end());
        std::set<std::string> removed;
        for (const auto& path : PruneBackups(dir.Path(), 1234, dir / c.written)) {
            removed.insert(path.filename().string());
        }
        EXPECT_EQ(removed, expectedRemoved);
        EXPECT_TRUE(std::filesystem::exists(dir / c.written));
        EXPECT_EQ(Names(dir.Path()).size(), std::min<std::size_t>(c.before.size() + 1, kBackupsKept));
    }
}

// The whole job, on the simulated radio: its computer's clock is behind 20 backups of the radio.
// The outcome names the new backup, and it is there, holding the radio's configuration.
TEST(AutoBackup, AJobWhoseClockIsBehindKeepsItsBackup) {
    test::CTempFolder dir;
    for (const std::string& name : Minutes(11, 0, 20)) {
        test::WriteFile(dir / name, "x");
    }
    rm7sim::Options options = test::CRadioBench::DefaultOptions();
    options.serial = 1234;
    test::CRadioBench bench(options);
    ASSERT_EQ(bench.Contact(), kOk);
    CAutoBackup backup(*bench.session, {true, dir.Path()}, [] { return SavedAtTime{2026, 12, 10, 10, 15, 0}; });
    std::optional<BackupOutcome> outcome;
    backup.Run(BackupReason::kFirmware, [&](const BackupOutcome& o) { outcome = o; });
    ASSERT_TRUE(bench.pump.AdvanceUntil([&] { return outcome.has_value(); }, 60000));
    ASSERT_EQ(outcome->kind, BackupOutcome::Kind::kWritten) << outcome->Text();
    EXPECT_EQ(outcome->file, dir / At(10, 15));
    EXPECT_TRUE(std::filesystem::is_regular_file(outcome->file));
    EXPECT_GT(std::filesystem::file_size(outcome->file), 1u);
    const std::set<std::string> names = Names(dir.Path());
    EXPECT_EQ(names.size(), kBackupsKept);
    EXPECT_FALSE(names.contains(At(11, 0)));
}

}  // namespace
}  // namespace rm7
