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
    CWholeFileReader file(nullptr, "caption");
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

TEST_F(FileClasses, ReadFailuresAreReportedWithOperationFileAndCode) {
    struct Case {
        const char* name;
        fs::path path;
        std::uint64_t limit;
        const char* operation;
        Result code;
    };
    const Case cases[] = {
        {"missing", m_dir / "missing", CWholeFileReader::kDefaultSizeLimit, "CreateFile", kErrorFileNotFound},
        {"folder", m_dir, CWholeFileReader::kDefaultSizeLimit, "CreateFile", kErrorAccessDenied},
        {"too large", Put("large", std::string(100, 'x')), 99, "ReadFile", kErrorNotEnoughMemory},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::CRecordingNotifier notifier;
        CWholeFileReader file(&notifier, "Configuration file read error");
        SetLastError(kOk);
        EXPECT_EQ(file.LoadAll(c.path, c.limit), c.code);
        EXPECT_EQ(GetLastError(), c.code);
        EXPECT_FALSE(file.IsLoaded());
        char code[16];
        std::snprintf(code, sizeof code, "0x%08X", c.code);
        ASSERT_EQ(notifier.boxes.size(), 1u);
        EXPECT_EQ(notifier.boxes[0].caption, "Configuration file read error");
        EXPECT_EQ(notifier.boxes[0].text, std::string(c.operation) + " failed on \"" + c.path.string() +
                                              "\"\r\nError " + code + ": " + SystemErrorText(c.code));
        EXPECT_EQ(notifier.boxes[0].icon, MessageIcon::Error);
    }
}

TEST_F(FileClasses, WrittenFileReplacesTheEarlierOneOnlyOnCommit) {
    const fs::path path = Put("target", "earlier");
    {
        CWholeFileWriter file(nullptr, "caption");
        ASSERT_EQ(file.Create(path), kOk);
        ASSERT_EQ(file.WriteLine("caf\xC3\xA9 \xE2\x82\xAC"), kOk);  // U+00E9 fits one byte, U+20AC does not
        ASSERT_EQ(file.WriteString("end"), kOk);
        EXPECT_EQ(Contents(path), "earlier");
        ASSERT_EQ(file.Commit(), kOk);
        EXPECT_FALSE(file.IsOpen());
    }
    EXPECT_EQ(Contents(path), "caf\xE9 ?\r\nend");

    {
        CWholeFileWriter abandoned(nullptr, "caption");
        ASSERT_EQ(abandoned.Create(path), kOk);
        ASSERT_EQ(abandoned.WriteLine("never seen"), kOk);
    }
    EXPECT_EQ(Contents(path), "caf\xE9 ?\r\nend");
    std::vector<fs::path> entries(fs::directory_iterator(m_dir), fs::directory_iterator{});
    EXPECT_EQ(entries, std::vector<fs::path>{path});

    test::CRecordingNotifier notifier;
    CWholeFileWriter closed(&notifier, "Configuration file write error");
    EXPECT_EQ(closed.WriteLine("no file"), kErrorInvalidHandle);
    ASSERT_EQ(notifier.boxes.size(), 1u);
    EXPECT_EQ(notifier.boxes[0].text.rfind("WriteFile failed on \"\"", 0), 0u);
}

}  // namespace
}  // namespace rm7
