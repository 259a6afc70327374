#include "platform/file_handle.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "platform/result_codes.h"

namespace rm7 {
namespace {

namespace fs = std::filesystem;

class FileHandleTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::path(::testing::TempDir()) / "handle_XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
    }
    void TearDown() override { fs::remove_all(m_dir); }

    fs::path m_dir;
};

TEST_F(FileHandleTest, ReadsAFileToItsEndAndKnowsItsSize) {
    const fs::path path = m_dir / "data";
    std::ofstream(path, std::ios::binary) << std::string("abc\0\xFF", 5);
    CFileHandle file;
    ASSERT_EQ(file.Open(path), kOk);
    std::uint64_t size = 0;
    ASSERT_EQ(file.GetSize(size), kOk);
    EXPECT_EQ(size, 5u);
    char buffer[8];
    std::size_t got = 0;
    ASSERT_EQ(file.Read(buffer, 3, got), kOk);
    EXPECT_EQ(std::string(buffer, got), "abc");
    ASSERT_EQ(file.Read(buffer, sizeof buffer, got), kOk);
    EXPECT_EQ(std::string(buffer, got), std::string("\0\xFF", 2));
    ASSERT_EQ(file.Read(buffer, sizeof buffer, got), kOk);
    EXPECT_EQ(got, 0u);
}

TEST_F(FileHandleTest, AFifoWithoutAWriterOpensAtOnceAndReadsAsEmpty) {
    const fs::path path = m_dir / "fifo";
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    CFileHandle file;
    ASSERT_EQ(file.Open(path), kOk);
    char buffer[8];
    std::size_t got = 1;
    ASSERT_EQ(file.Read(buffer, sizeof buffer, got), kOk);
    EXPECT_EQ(got, 0u);
}

TEST_F(FileHandleTest, WhatCannotBeOpenedGivesItsCodeAndLeavesNothingOpen) {
    struct Case {
        fs::path path;
        Result code;
    } cases[] = {
        {m_dir / "missing", kErrorFileNotFound},
        {m_dir, kErrorDirectoryNotSupported},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.string());
        CFileHandle file;
        EXPECT_EQ(file.Open(c.path), c.code);
        EXPECT_FALSE(file.IsOpen());
        std::uint64_t size = 0;
        EXPECT_EQ(file.GetSize(size), kErrorInvalidHandle);
        char buffer[1];
        std::size_t got = 0;
        EXPECT_EQ(file.Read(buffer, 1, got), kErrorInvalidHandle);
    }
}

TEST_F(FileHandleTest, ReadWholeFileReadsEveryByteUpToItsLimit) {
    const fs::path path = m_dir / "data";
    const std::string content = std::string("line one\r\n\0binary\xFF", 19) + std::string(200000, 'x');
    std::ofstream(path, std::ios::binary) << content;
    std::vector<std::uint8_t> data = {1, 2, 3};
    ASSERT_EQ(ReadWholeFile(path, content.size(), data), kOk);
    EXPECT_EQ(std::string(data.begin(), data.end()), content);

    WholeFileStep step = WholeFileStep::Open;
    EXPECT_EQ(ReadWholeFile(path, content.size() - 1, data, &step), kErrorNotEnoughMemory);
    EXPECT_EQ(step, WholeFileStep::Size);
    EXPECT_TRUE(data.empty());

    std::ofstream(m_dir / "empty", std::ios::binary).flush();
    data = {1};
    ASSERT_EQ(ReadWholeFile(m_dir / "empty", 0, data), kOk);
    EXPECT_TRUE(data.empty());
}

// The size the file system gives is only where reading starts: a device that never ends is
// stopped at the limit, and one that must not be waited on is refused when asked.
TEST_F(FileHandleTest, ReadWholeFileStopsAtTheLimitAndRefusesDevicesWhenAsked) {
    std::vector<std::uint8_t> data;
    WholeFileStep step = WholeFileStep::Open;
    EXPECT_EQ(ReadWholeFile("/dev/zero", 100000, data, &step), kErrorNotEnoughMemory);
    EXPECT_EQ(step, WholeFileStep::Read);

    const fs::path fifo = m_dir / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const struct {
        fs::path path;
        Result code;
    } refused[] = {
        {fifo, kErrorNotSupported},
        {"/dev/zero", kErrorNotSupported},
        {m_dir, kErrorDirectoryNotSupported},
        {m_dir / "missing", kErrorFileNotFound},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.path.string());
        step = WholeFileStep::Read;
        EXPECT_EQ(ReadWholeFile(c.path, 100000, data, &step, true), c.code);
        EXPECT_EQ(step, WholeFileStep::Open);
    }
}

}  // namespace
}  // namespace rm7
