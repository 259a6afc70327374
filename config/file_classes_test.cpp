#include "config/file_classes.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <iterator>

#include "platform/last_error.h"
#include "platform/os_error.h"
#include "tests/support/recording_notifier.h"
#include "tests/support/temp_folder.h"

namespace rm7 {
namespace {

namespace fs = std::filesystem;

class FileClasses : public ::testing::Test {
  protected:
    void SetUp() override { m_dir = m_folder.Path(); }

    fs::path Put(const char* name, const std::string& bytes) {
        const fs::path path = m_dir / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    static std::string Contents(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    test::CTempFolder m_folder;
    fs::path m_dir;
};

TEST_F(FileClasses, LoadAllHandsOutEveryByteThenTheEnd) {
    std::string all;
    for (int i = 0; i < 256; ++i) {
        all += static_cast<char>(i);
    }
    const fs::path path = Put("bytes", all + all);
    CWholeFileReader file;
    ASSERT_EQ(file.LoadAll(path), kOk);
    EXPECT_TRUE(file.IsLoaded());
    std::uint64_t size = 0;
    ASSERT_EQ(file.GetSize(size), kOk);
    EXPECT_EQ(size, 512u);
    for (int i = 0; i < 512; ++i) {
        ASSERT_EQ(file.ReadByte(), i % 256);  // 0xFF is a byte, not the end
    }
    EXPECT_EQ(file.ReadByte(), -1);
}

// A file that cannot be read comes back as its code, which stays the thread's last error, and
// reads as the path and the system's words for it; nothing is shown here (the caller says it).
TEST_F(FileClasses, ReadFailuresComeBackAsTheSystemsCodeAndWords) {
    struct Case {
        const char* name;
        fs::path path;
        std::uint64_t limit;
        Result code;
        const char* words;
    };
    const Case cases[] = {
        {"missing", m_dir / "missing", CWholeFileReader::kDefaultSizeLimit, kErrorFileNotFound,
         "No such file or directory"},
        {"folder", m_dir, CWholeFileReader::kDefaultSizeLimit, kErrorDirectoryNotSupported, "Is a directory"},
        {"too large", Put("large", std::string(100, 'x')), 99, kErrorNotEnoughMemory, "Cannot allocate memory"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CWholeFileReader file;
        SetLastError(kOk);
        EXPECT_EQ(file.LoadAll(c.path, c.limit), c.code);
        EXPECT_EQ(GetLastError(), c.code);
        EXPECT_FALSE(file.IsLoaded());
        EXPECT_EQ(FileFailureText(c.path, c.code), c.path.string() + ": " + c.words);
    }
    // A name from outside is printed safely.
    EXPECT_EQ(FileFailureText("a\x1b[2Jb", kErrorFileNotFound), "a\\x1B[2Jb: No such file or directory");
}

TEST_F(FileClasses, WrittenFileReplacesTheEarlierOneOnlyOnCommit) {
    const fs::path path = Put("target", "earlier");
    {
        CWholeFileWriter file;
        ASSERT_EQ(file.Create(path), kOk);
        ASSERT_EQ(file.WriteLine("caf\xC3\xA9 \xE2\x82\xAC"), kOk);  // U+00E9 fits one byte, U+20AC does not
        ASSERT_EQ(file.WriteString("end"), kOk);
        EXPECT_EQ(Contents(path), "earlier");
        ASSERT_EQ(file.Commit(), kOk);
        EXPECT_FALSE(file.IsOpen());
    }
    EXPECT_EQ(Contents(path), "caf\xE9 ?\r\nend");

    {
        CWholeFileWriter abandoned;
        ASSERT_EQ(abandoned.Create(path), kOk);
        ASSERT_EQ(abandoned.WriteLine("never seen"), kOk);
    }
    EXPECT_EQ(Contents(path), "caf\xE9 ?\r\nend");
    std::vector<fs::path> entries(fs::directory_iterator(m_dir), fs::directory_iterator{});
    EXPECT_EQ(entries, std::vector<fs::path>{path});

    CWholeFileWriter closed;
    SetLastError(kOk);
    EXPECT_EQ(closed.WriteLine("no file"), kErrorInvalidHandle);
    EXPECT_EQ(GetLastError(), kErrorInvalidHandle);
}

}  // namespace
}  // namespace rm7
