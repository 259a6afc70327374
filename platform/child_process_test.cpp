#include "platform/child_process.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "platform/result_codes.h"

namespace rm7 {
namespace {

// Waits for a child of this process to end; true when it did within the deadline.
bool Reaped(pid_t pid, std::chrono::milliseconds deadline) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (std::chrono::steady_clock::now() < end) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// Ctrl-C at a terminal goes to its foreground process group: the child is not in this one, so
// the signal reaches only this program, which ends its job with the child still there.
TEST(ChildProcess, RunsInAProcessGroupOfItsOwn) {
    CChildProcess child;
    ASSERT_EQ(child.Start("/bin/sh", {"-c", "echo started; exec sleep 60"}), kOk);
    std::string line;
    ASSERT_TRUE(child.ReadFirstLine(line, 10000));
    EXPECT_EQ(::getpgid(child.Pid()), child.Pid());
    EXPECT_NE(::getpgid(child.Pid()), ::getpgid(0));
    child.Stop();
}

TEST(ChildProcess, ReadsTheFirstLineAndStopEndsTheChild) {
    CChildProcess child;
    ASSERT_EQ(child.Start("/bin/sh", {"-c", "echo first; echo second; exec sleep 60"}), kOk);
    std::string line;
    ASSERT_TRUE(child.ReadFirstLine(line, 10000));
    EXPECT_EQ(line, "first");
    const pid_t pid = child.Pid();
    child.Stop();
    EXPECT_FALSE(child.Running());
    EXPECT_EQ(::kill(pid, 0), -1);  // reaped, not merely signalled
}

// The simulator must not outlive a program killed outright: a parent that dies without running
// a single destructor still takes its child with it.
TEST(ChildProcess, TheChildEndsWithItsParent) {
    // Orphans come back to this process, so the test can see them end and reap them.
    ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t parent = ::fork();
    ASSERT_GE(parent, 0);
    if (parent == 0) {
        ::close(fds[0]);
        CChildProcess child;
        pid_t pid = -1;
        if (child.Start("/bin/sleep", {"60"}) == kOk) {
            pid = child.Pid();
        }
        (void)!::write(fds[1], &pid, sizeof pid);
        for (;;) {
            ::pause();
        }
    }
    ::close(fds[1]);
    pid_t grandchild = -1;
    const ssize_t got = ::read(fds[0], &grandchild, sizeof grandchild);
    ::close(fds[0]);
    ASSERT_EQ(got, static_cast<ssize_t>(sizeof grandchild));
    ASSERT_GT(grandchild, 0);
    EXPECT_EQ(::kill(grandchild, 0), 0);

    ASSERT_EQ(::kill(parent, SIGKILL), 0);
    ASSERT_TRUE(Reaped(parent, std::chrono::seconds(30)));
    const bool ended = Reaped(grandchild, std::chrono::seconds(30));
    if (!ended) {
        ::kill(grandchild, SIGKILL);
        Reaped(grandchild, std::chrono::seconds(30));
    }
    EXPECT_TRUE(ended) << "the grandchild outlived its parent";
}

namespace fs = std::filesystem;

// Stand-ins for the simulated radio: shell scripts that print (or fail to print) a first line.
class StartSimulatedRadioTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::path(::testing::TempDir()) / "child_XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
    }
    void TearDown() override { fs::remove_all(m_dir); }

    fs::path Script(const char* name, const std::string& body) {
        const fs::path path = m_dir / name;
        std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
        ::chmod(path.c_str(), 0755);
        return path;
    }

    fs::path m_dir;
};

TEST_F(StartSimulatedRadioTest, PassesTheBlankSeparatedArgumentsAndReadsTheDeviceLine) {
    // The line names the argument count, so a run of blanks or a tab cannot pass for one argument.
    const fs::path program = Script("sim", "echo \"/dev/pts/$#:$*\"\nexec sleep 30");
    struct Case {
        std::string extraArgs;
        std::string device;
    } cases[] = {
        {"", "/dev/pts/0:"},
        {"--speed 9600", "/dev/pts/2:--speed 9600"},
        {"  --speed\t9600   --mcu 02.88 ", "/dev/pts/4:--speed 9600 --mcu 02.88"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.extraArgs);
        CChildProcess child;
        std::string device = "stale";
        ASSERT_EQ(StartSimulatedRadio(child, program, c.extraArgs, device), kOk);
        EXPECT_EQ(device, c.device);
        EXPECT_TRUE(child.Running());
        child.Stop();  // the sleeping script ends on SIGTERM, or this test hangs
        EXPECT_FALSE(child.Running());
    }
}

TEST_F(StartSimulatedRadioTest, AProgramThatGivesNoDeviceIsStoppedAndNotFound) {
    const fs::path cases[] = {
        Script("silent", "exit 0"),
        Script("blank", "echo\nexec sleep 30"),
        m_dir / "missing",
    };
    for (const fs::path& program : cases) {
        SCOPED_TRACE(program.filename().string());
        CChildProcess child;
        std::string device = "stale";
        EXPECT_EQ(StartSimulatedRadio(child, program, "--speed 9600", device), kErrorFileNotFound);
        EXPECT_EQ(device, "");
        EXPECT_FALSE(child.Running());
    }
}

}  // namespace
}  // namespace rm7
