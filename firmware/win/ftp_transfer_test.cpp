#include "firmware/ftp_transfer.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "platform/result_codes.h"
#include "platform/temp_dir.h"
#include "platform/win/wide_text.h"

namespace rm7 {
namespace {

TEST(WindowsFileUrl, NamesTheFolderWithItsDriveLetter) {
    const struct {
        const char* url;
        const char* path;  // null: not taken
    } cases[] = {
        {"file:///C:/Users/Ann/mirror/", "C:/Users/Ann/mirror/"},
        {"file://localhost/D:/fw/", "D:/fw/"},
        {"file:///C:/My%20Firmware/RM7/firmware/", "C:/My Firmware/RM7/firmware/"},
        {"file:///srv/mirror/", "/srv/mirror/"},  // a folder of the current drive
        {"file://server/share/", nullptr},        // another computer's
        {"file://C:/fw/", nullptr},               // the drive where the host belongs
        {"file:///C:/a%00b/", nullptr},
        {"file:///C:/bad%2", nullptr},
        {"ftp://host/", nullptr},
    };
    for (const auto& c : cases) {
        std::string path = "unchanged";
        EXPECT_EQ(FileUrlPath(c.url, path), c.path != nullptr) << c.url;
        if (c.path != nullptr) {
            EXPECT_EQ(path, c.path) << c.url;
        }
    }
}

TEST(WindowsDownloadFile, IsNewEmptyAndOnlyInTheFolder) {
    std::filesystem::path dir;
    ASSERT_EQ(MakeTempDirectory("rm7-fetch-test", dir), kOk);
    std::set<std::filesystem::path> made;
    for (int i = 0; i < 3; ++i) {
        std::filesystem::path path;
        int handle = -1;
        ASSERT_EQ(CreateDownloadFile(dir, path, handle), kOk);
        EXPECT_EQ(path.parent_path(), dir);
        EXPECT_EQ(path.filename().string().rfind(".rm7-fetch-", 0), 0u) << path;
        // Held for the worker alone: no one else opens it meanwhile.
        const HANDLE other = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                           OPEN_EXISTING, 0, nullptr);
        EXPECT_EQ(other, INVALID_HANDLE_VALUE);
        EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
        EXPECT_TRUE(::CloseHandle(IntToHandle(handle)));
        EXPECT_EQ(std::filesystem::file_size(path), 0u);
        made.insert(path);
    }
    EXPECT_EQ(made.size(), 3u);

    std::filesystem::path path;
    int handle = -1;
    EXPECT_EQ(CreateDownloadFile(dir / "gone", path, handle), kErrorPathNotFound);
    EXPECT_EQ(handle, -1);
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace rm7
