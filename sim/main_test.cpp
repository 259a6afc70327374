// rm7-sim as a process: the pty it prints, the speed it reads from the utility's side,
// the symlink, a clean stop and the unplug exit.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/support/temp_folder.h"

namespace {

constexpr int kDeadlineMs = 10000;  // generous: the machines are shared and noisy

int64_t NowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1'000'000;
}

// Waits for fd to become readable, at most until the deadline.
bool WaitReadable(int fd, int64_t deadline) {
    for (;;) {
        const int64_t left = deadline - NowMs();
        if (left <= 0) {
            return false;
        }
        pollfd pfd{fd, POLLIN, 0};
        const int r = poll(&pfd, 1, static_cast<int>(left));
        if (r > 0) {
            return true;
        }
        if (r < 0 && errno != EINTR) {
            return false;
        }
    }
}

class SimProcess {
  public:
    explicit SimProcess(const std::vector<std::string>& options) {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) {
            return;
        }
        out_ = fds[0];
        std::vector<std::string> args{RM7_SIM_BINARY};
        args.insert(args.end(), options.begin(), options.end());
        std::vector<char*> argv;
        for (std::string& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        if (posix_spawn(&pid_, RM7_SIM_BINARY, &actions, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
    }
    ~SimProcess() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0) {
            close(out_);
        }
    }

    // The first line the simulator prints: its device path.
    std::string ReadLine() {
        std::string line;
        const int64_t deadline = NowMs() + kDeadlineMs;
        char c = 0;
        while (WaitReadable(out_, deadline) && read(out_, &c, 1) == 1 && c != '\n') {
            line += c;
        }
        return line;
    }

    // Signals the process (unless sig is 0) and returns its exit status; -1 when it did
    // not exit by the deadline or was killed.
    int Stop(int sig) {
        if (sig != 0) {
            kill(pid_, sig);
        }
        // The pipe reaches end-of-file when the process is gone.
        const int64_t deadline = NowMs() + kDeadlineMs;
        char buffer[256];
        while (WaitReadable(out_, deadline)) {
            if (read(out_, buffer, sizeof buffer) <= 0) {
                int status = 0;
                waitpid(pid_, &status, 0);
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
        }
        return -1;
    }

    bool Started() const { return pid_ > 0 && out_ >= 0; }

  private:
    pid_t pid_ = -1;
    int out_ = -1;
};

int OpenRaw(const std::string& path, speed_t speed) {
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios tio{};
    if (fd < 0 || tcgetattr(fd, &tio) != 0) {
        return -1;
    }
    cfmakeraw(&tio);
    cfsetispeed(&tio, speed);
    cfsetospeed(&tio, speed);
    tcsetattr(fd, TCSANOW, &tio);
    return fd;
}

// Writes the command and gathers the answer up to its first ';' or `end`.
std::string Exchange(int fd, const std::string& command, char end = ';') {
    if (write(fd, command.data(), command.size()) != static_cast<ssize_t>(command.size())) {
        return "write failed";
    }
    std::string answer;
    const int64_t deadline = NowMs() + kDeadlineMs;
    char c = 0;
    while (WaitReadable(fd, deadline) && read(fd, &c, 1) == 1) {
        answer += c;
        if (c == end) {
            break;
        }
    }
    return answer;
}

TEST(RadioProcess, AnswersOnThePrintedPtyAndStopsCleanly) {
    const rm7::test::CTempFolder folder;
    const std::string dir = folder.Path().string();
    const std::string link = dir + "/radio";
    SimProcess sim({"--mcu", "02.88", "--link", link});
    ASSERT_TRUE(sim.Started());
    const std::string path = sim.ReadLine();
    ASSERT_TRUE(path.starts_with("/dev/pts/")) << path;
    char target[256] = {};
    ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(path, target);

    const int fd = OpenRaw(link, B38400);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(Exchange(fd, ";"), ";");
    EXPECT_EQ(Exchange(fd, "I;"), "?;");
    EXPECT_EQ(Exchange(fd, "RVM;"), "RVM02.88;");
    close(fd);

    // The utility closing its side leaves the radio there for the next open.
    const int again = OpenRaw(path, B38400);
    ASSERT_GE(again, 0);
    EXPECT_EQ(Exchange(again, ";"), ";");
    close(again);

    EXPECT_EQ(sim.Stop(SIGTERM), 0);
    struct stat st {};
    EXPECT_NE(lstat(link.c_str(), &st), 0) << "the symlink is removed at exit";
}

TEST(RadioProcess, EverySignalItEndsByRemovesTheLinkAndALiveLinkIsNotTaken) {
    const rm7::test::CTempFolder folder;
    const std::string link = folder.Path().string() + "/radio";
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        SimProcess sim({"--link", link});
        ASSERT_TRUE(sim.Started());
        const std::string path = sim.ReadLine();
        ASSERT_TRUE(path.starts_with("/dev/pts/")) << path;

        // A second simulator does not take the name while the first one's device is there.
        SimProcess second({"--link", link});
        ASSERT_TRUE(second.Started());
        EXPECT_EQ(second.Stop(0), 2) << strsignal(sig);
        char target[256] = {};
        ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
        EXPECT_EQ(path, target);

        EXPECT_EQ(sim.Stop(sig), 0) << strsignal(sig);
        struct stat st {};
        EXPECT_NE(lstat(link.c_str(), &st), 0) << strsignal(sig) << ": the symlink is left";
    }

    // A link left by a simulator that was killed leads nowhere, and is taken.
    ASSERT_EQ(symlink("/dev/pts/999999", link.c_str()), 0);
    SimProcess sim({"--link", link});
    const std::string path = sim.ReadLine();
    char target[256] = {};
    ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(path, target);
    EXPECT_EQ(sim.Stop(SIGTERM), 0);
}

TEST(RadioProcess, ListensAtTheSpeedTheUtilitySetAndVanishesWhenUnplugged) {
    SimProcess sim({"--speed", "9600", "--boot-loader", "--faults", "unplug=0"});
    ASSERT_TRUE(sim.Started());
    const std::string path = sim.ReadLine();
    const int fd = OpenRaw(path, B9600);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(Exchange(fd, ";"), ";");
    const std::string id = Exchange(fd, "I;");
    EXPECT_NE(id.find("RM7"), std::string::npos) << id;
    EXPECT_EQ(Exchange(fd, "D", 'D'), "D");
    const char firstPacketByte = 0;
    ASSERT_EQ(write(fd, &firstPacketByte, 1), 1);
    EXPECT_EQ(sim.Stop(0), 3);
    close(fd);
}

}  // namespace
