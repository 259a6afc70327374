#include "platform/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <sstream>

#include "platform/os_error.h"
#include "platform/result_codes.h"
#include "platform/text.h"

namespace rm7 {

namespace {

// Waits until fd has something to read (or its end) before the deadline; false on time-out or error.
bool WaitForOutput(int fd, std::chrono::steady_clock::time_point deadline) {
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) {
            return false;
        }
        pollfd p{fd, POLLIN, 0};
        const int n = ::poll(&p, 1, static_cast<int>(left));
        if (n > 0) {
            return true;
        }
        if (n < 0 && errno != EINTR) {
            return false;
        }
    }
}

}  // namespace

Result CChildProcess::Start(const std::filesystem::path& program, const std::vector<std::string>& args) {
    Stop();
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        return ResultFromErrno(errno);
    }
    std::vector<std::string> storage;
    storage.push_back(program.string());
    storage.insert(storage.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& s : storage) {
        argv.push_back(s.data());
    }
    argv.push_back(nullptr);
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) {
        const int err = errno;
        ::close(fds[0]);
        ::close(fds[1]);
        return ResultFromErrno(err);
    }
    if (pid == 0) {
        // The child ends with this program, however it ends (a signal leaves no destructor to
        // run Stop). The signal is tied to the starting thread: start children from the main one.
        // A parent gone before the request took hold leaves a new parent: end at once.
        if (::prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || ::getppid() != parent) {
            ::_exit(127);
        }
        // Its own process group: the terminal's Ctrl-C goes to this program alone, which stops
        // its job its own way with the child (the simulated radio) still there to hear it.
        ::setpgid(0, 0);
        ::dup2(fds[1], STDOUT_FILENO);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    // Also here, so no signal sent to the group before the child runs reaches it.
    ::setpgid(pid, pid);
    ::close(fds[1]);
    m_pid = pid;
    m_stdout = fds[0];
    return kOk;
}

bool CChildProcess::ReadFirstLine(std::string& line, int timeoutMs) {
    line.clear();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (m_stdout >= 0) {
        if (!WaitForOutput(m_stdout, deadline)) {
            return false;
        }
        char c = 0;
        const ssize_t got = ::read(m_stdout, &c, 1);
        if (got <= 0) {
            return false;
        }
        if (c == '\n') {
            return true;
        }
        line.push_back(c);
    }
    return false;
}

bool CChildProcess::WaitForEnd(int timeoutMs, int& exitCode) {
    if (m_pid <= 0) {
        return false;
    }
    // The pipe closes as the child ends: wait for that, then reap it.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (m_stdout >= 0) {
        if (!WaitForOutput(m_stdout, deadline)) {
            return false;
        }
        char buffer[256];
        const ssize_t got = ::read(m_stdout, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            ::close(m_stdout);
            m_stdout = -1;
        }
    }
    int status = 0;
    while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
    }
    m_pid = -1;
    exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return true;
}

void CChildProcess::Stop() {
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        int status = 0;
        while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
        }
        m_pid = -1;
    }
    if (m_stdout >= 0) {
        ::close(m_stdout);
        m_stdout = -1;
    }
}

std::filesystem::path ProgramDir() {
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path(".") : self.parent_path();
}

Result StartSimulatedRadio(CChildProcess& child, const std::filesystem::path& program, const std::string& extraArgs,
                           std::string& device) {
    std::vector<std::string> args;
    device.clear();
    if (std::string why; !SplitShellWords(extraArgs, args, why)) {
        return kErrorInvalidData;
    }
    const Result r = child.Start(program.empty() ? ProgramDir() / "rm7-sim" : program, args);
    if (r != kOk) {
        return r;
    }
    if (!child.ReadFirstLine(device, 10000) || device.empty()) {
        child.Stop();
        device.clear();
        return kErrorFileNotFound;
    }
    return kOk;
}

Result MakeSimulatedFirmware(const std::filesystem::path& simulator, const std::filesystem::path& dir) {
    CChildProcess child;
    const Result r =
        child.Start(simulator.empty() ? ProgramDir() / "rm7-sim" : simulator, {"--make-firmware", dir.string()});
    if (r != kOk) {
        return r;
    }
    int exitCode = 0;
    if (!child.WaitForEnd(30000, exitCode)) {
        child.Stop();
        return kErrorTimeout;
    }
    // 127: the program could not be run at all.
    return exitCode == 0 ? kOk : exitCode == 127 ? kErrorFileNotFound : kErrorGenFailure;
}

}  // namespace rm7
