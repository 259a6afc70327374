#include "config/config_folder.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <ctime>

namespace rm7 {
namespace {

namespace fs = std::filesystem;

TEST(ConfigurationFolder, ProposedNames) {
    const SavedAtTime t{2024, 1, 31, 23, 59, 59};
    EXPECT_EQ(ProposedConfigurationFileName(1234, t), "SN01234.20240131T235959.RM7Config");
    EXPECT_EQ(ProposedConfigurationFileName(0, {2025, 12, 1, 0, 5, 9}), "SN00000.20251201T000509.RM7Config");
    EXPECT_EQ(ProposedConfigurationFileName(65534, t), "SN65534.20240131T235959.RM7Config");
    EXPECT_EQ(ProposedConfigurationFileName(kNoSerialNumber, t), "20240131T235959.RM7Config");

    std::tm local{};
    local.tm_year = 2024 - 1900;
    local.tm_mon = 0;
    local.tm_mday = 31;
    local.tm_hour = 23;
    local.tm_min = 59;
    local.tm_sec = 59;
    local.tm_isdst = -1;
    EXPECT_EQ(SavedAtFromLocalTime(std::mktime(&local)), t);
}

TEST(ConfigurationFolder, DefaultFolderIsCreatedUnderDocuments) {
    const test::CTempFolder folder;
    const fs::path& documents = folder.Path();
    const fs::path expected = documents / "Tarnwell" / "RM7 Configuration";
    for (int time = 0; time < 2; ++time) {  // again once it exists, and after it was removed
        EXPECT_EQ(DefaultConfigurationFolder(documents), expected);
        EXPECT_TRUE(fs::is_directory(expected));
        if (time == 0) {
            fs::remove_all(documents / "Tarnwell");
        }
    }
}

}  // namespace
}  // namespace rm7
