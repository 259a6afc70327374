#include "platform/mapped_file.h"
#include "tests/support/temp_folder.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <string>
#include <utility>

namespace rm7 {
namespace {

class MappedFileTest : public ::testing::Test {
  protected:
    void SetUp() override { m_dir = m_folder.Path(); }

    std::filesystem::path Write(const char* name, const std::string& content) {
        std::ofstream(m_dir / name, std::ios::binary) << content;
        return m_dir / name;
    }

    test::CTempFolder m_folder;
    std::filesystem::path m_dir;
};

TEST_F(MappedFileTest, MapsTheWholeFile) {
    const std::string content = std::string("line one\r\n\0binary\xFF", 19) + std::string(100000, 'x');
    CMappedFile file;
    ASSERT_EQ(file.Open(Write("a.hex", content)), kOk);
    EXPECT_TRUE(file.IsOpen());
    ASSERT_EQ(file.Size(), content.size());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(file.Data()), file.Size()), content);

    CMappedFile moved = std::move(file);
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(file.Size(), 0u);
    EXPECT_EQ(moved.Size(), content.size());
    EXPECT_EQ(moved.Data()[0], 'l');
    moved.Close();
    EXPECT_FALSE(moved.IsOpen());
    EXPECT_EQ(moved.Data(), nullptr);
}

TEST_F(MappedFileTest, EmptyFileMapsToNothing) {
    CMappedFile file;
    ASSERT_EQ(file.Open(Write("empty.hex", "")), kOk);
    EXPECT_TRUE(file.IsOpen());
    EXPECT_EQ(file.Size(), 0u);
}

TEST_F(MappedFileTest, RefusesWhatIsNotAReadableFile) {
    ASSERT_EQ(::mkfifo((m_dir / "fifo").c_str(), 0600), 0);
    const auto unreadable = Write("secret.hex", "x");
    std::filesystem::permissions(unreadable, std::filesystem::perms::none);
    const bool root = std::ifstream(unreadable).good();  // root reads it anyway
    const struct {
        std::filesystem::path path;
        Result code;
    } cases[] = {
        {m_dir / "absent.hex", kErrorFileNotFound},
        {m_dir, kErrorAccessDenied},
        {m_dir / "fifo", kErrorNotSupported},  // and does not wait for a writer
        {unreadable, root ? kOk : kErrorAccessDenied},
    };
    for (const auto& c : cases) {
        CMappedFile file;
        ASSERT_EQ(file.Open(Write("other.hex", "abc")), kOk);
        EXPECT_EQ(file.Open(c.path), c.code) << c.path;
        EXPECT_EQ(file.IsOpen(), c.code == kOk);
        if (c.code != kOk) {
            EXPECT_EQ(file.Size(), 0u);
        }
    }
}

}  // namespace
}  // namespace rm7
