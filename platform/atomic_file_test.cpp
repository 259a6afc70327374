#include "platform/atomic_file.h"
#include "tests/support/temp_folder.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace rm7 {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void WriteFile(const fs::path& p, const std::string& content) {
    std::ofstream(p, std::ios::binary) << content;
}

std::vector<std::string> Names(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

mode_t ModeOf(const fs::path& p) {
    struct stat st {};
    EXPECT_EQ(::stat(p.c_str(), &st), 0);
    return st.st_mode & 07777;
}

// Runs fn without root's power to write anywhere: in a child as "nobody" when we are root.
Result RunUnprivileged(const std::function<Result()>& fn) {
    if (::geteuid() != 0) {
        return fn();
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) {
            ::_exit(255);
        }
        const Result r = fn();
        ::_exit(r > 254 ? 254 : static_cast<int>(r));
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? static_cast<Result>(WEXITSTATUS(status)) : 255;
}

class AtomicFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = folder.Path();
        target = dir / "RM7 Utility.conf";
    }
    test::CTempFolder folder;
    fs::path dir;
    fs::path target;
};

TEST_F(AtomicFileTest, TargetChangesOnlyAtCommit) {
    WriteFile(target, "old");
    CAtomicFileWriter writer;
    ASSERT_EQ(writer.Open(target), kOk);
    ASSERT_EQ(writer.Write("new ", 4), kOk);
    ASSERT_EQ(writer.Write("content", 7), kOk);
    EXPECT_EQ(ReadAll(target), "old");
    EXPECT_EQ(Names(dir).size(), 2u);  // the target and the temporary file beside it

    ASSERT_EQ(writer.Commit(), kOk);
    EXPECT_EQ(ReadAll(target), "new content");
    EXPECT_THAT(Names(dir), ElementsAre("RM7 Utility.conf"));
}

TEST_F(AtomicFileTest, AbortAndDestructionLeaveTheTargetAndNoTemporaryFile) {
    WriteFile(target, "old");
    {
        CAtomicFileWriter writer;
        ASSERT_EQ(writer.Open(target), kOk);
        ASSERT_EQ(writer.Write("new", 3), kOk);
        writer.Abort();
        EXPECT_EQ(writer.Commit(), kErrorInvalidHandle);
    }
    {
        CAtomicFileWriter writer;
        ASSERT_EQ(writer.Open(target), kOk);
        ASSERT_EQ(writer.Write("new", 3), kOk);
    }
    EXPECT_EQ(ReadAll(target), "old");
    EXPECT_THAT(Names(dir), ElementsAre("RM7 Utility.conf"));
}

TEST_F(AtomicFileTest, ExistingModeIsKeptAndANewFileFollowsTheUmask) {
    WriteFile(target, "old");
    ::chmod(target.c_str(), 0600);
    ASSERT_EQ(WriteFileAtomically(target, "new"), kOk);
    EXPECT_EQ(ModeOf(target), 0600u);

    const mode_t old = ::umask(027);
    const Result r = WriteFileAtomically(dir / "fresh", "x");
    ::umask(old);
    ASSERT_EQ(r, kOk);
    EXPECT_EQ(ModeOf(dir / "fresh"), 0640u);
    EXPECT_EQ(ReadAll(dir / "fresh"), "x");
}

TEST_F(AtomicFileTest, AFolderThatCannotBeWrittenToIsAccessDenied) {
    const fs::path locked = dir / "locked";
    fs::create_directory(locked);
    WriteFile(locked / "file", "old");
    ::chmod(dir.c_str(), 0755);
    ::chmod((locked / "file").c_str(), 0666);  // writable in place, but the folder is not
    ::chmod(locked.c_str(), 0555);

    EXPECT_EQ(RunUnprivileged([&] { return WriteFileAtomically(locked / "file", "new"); }), kErrorAccessDenied);
    EXPECT_EQ(ReadAll(locked / "file"), "old");
    EXPECT_THAT(Names(locked), ElementsAre("file"));
}

TEST_F(AtomicFileTest, ADiskFullWriteFailsAndLeavesTheTarget) {
    WriteFile(target, "old");
    // The file-size limit makes writes fail after 1000 bytes, as a full disk would.
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto savedSignal = ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 1000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);

    CAtomicFileWriter writer;
    const Result opened = writer.Open(target);
    const std::string block(600, 'x');
    const Result first = writer.Write(block.data(), block.size());
    const Result second = writer.Write(block.data(), block.size());
    const Result third = writer.Write(block.data(), block.size());
    const Result committed = writer.Commit();

    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::signal(SIGXFSZ, savedSignal);

    EXPECT_EQ(opened, kOk);
    EXPECT_EQ(first, kOk);
    EXPECT_EQ(second, kErrorDiskFull);
    EXPECT_EQ(third, kErrorDiskFull);  // the failure sticks
    EXPECT_EQ(committed, kErrorDiskFull);
    EXPECT_EQ(ReadAll(target), "old");
    EXPECT_THAT(Names(dir), ElementsAre("RM7 Utility.conf"));
}

TEST_F(AtomicFileTest, TargetsThatCannotBeWritten) {
    fs::create_directory(dir / "sub");
    WriteFile(dir / "sub" / "inside", "keep");
    WriteFile(dir / "plain", "keep");
    const struct {
        fs::path target;
        Result expected;
    } cases[] = {
        {dir / "missing" / "file", kErrorPathNotFound},
        {dir / "plain" / "file", kErrorDirectory},   // a file where a folder should be: ENOTDIR
        {dir / "sub", kErrorDirectoryNotSupported},  // a folder is not replaced
        {fs::path(), kErrorInvalidName},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(WriteFileAtomically(c.target, "new"), c.expected) << c.target;
    }
    EXPECT_EQ(ReadAll(dir / "sub" / "inside"), "keep");
    EXPECT_EQ(ReadAll(dir / "plain"), "keep");
    EXPECT_THAT(Names(dir), ElementsAre("plain", "sub"));
}

TEST_F(AtomicFileTest, ALinkedTargetHasItsFileReplacedAndStaysALink) {
    fs::create_directory(dir / "real");
    WriteFile(dir / "real" / "settings", "old");
    fs::create_symlink(dir / "real" / "settings", target);
    ASSERT_EQ(WriteFileAtomically(target, "new"), kOk);
    EXPECT_TRUE(fs::is_symlink(target));
    EXPECT_EQ(ReadAll(dir / "real" / "settings"), "new");
    EXPECT_THAT(Names(dir / "real"), ElementsAre("settings"));
}

}  // namespace
}  // namespace rm7
