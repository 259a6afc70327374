#pragma once
// Helpers for tests that run the real programs over a real pseudo-terminal.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/child_process.h"
#include "tests/support/temp_folder.h"

namespace rm7::test {

inline std::filesystem::path BinDir() {
    return RM7_BIN_DIR;
}

// A scratch folder that is also the settings and data home of the programs under test.
class CScratch {
  public:
    CScratch() {
        setenv("XDG_CONFIG_HOME", (m_folder / "config").c_str(), 1);
        setenv("XDG_DATA_HOME", (m_folder / "data").c_str(), 1);
    }
    const std::filesystem::path& Dir() const { return m_folder.Path(); }

  private:
    CTempFolder m_folder;
};

// rm7-sim on its own pty; stopped when the object goes away.
class CSimulator {
  public:
    explicit CSimulator(const std::vector<std::string>& args) {
        if (m_process.Start(BinDir() / "rm7-sim", args) == 0) {
            m_process.ReadFirstLine(m_device, 10000);
        }
    }
    const std::string& Device() const { return m_device; }
    void Stop() { m_process.Stop(); }
    pid_t Pid() const { return m_process.Pid(); }

  private:
    CChildProcess m_process;
    std::string m_device;
};

struct RunResult {
    int status = -1;
    std::string out;
    std::string err;
};

inline std::string ReadAll(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs one of the programs with the arguments (each quoted), with a hard limit so a hang fails
// the test. prefix goes before it, e.g. "env -u DISPLAY".
inline RunResult RunProgram(const CScratch& scratch, const std::string& program, const std::vector<std::string>& args,
                            int limitSec = 60, const std::string& prefix = "") {
    std::string command = prefix + " timeout " + std::to_string(limitSec) + " '" + (BinDir() / program).string() + "'";
    for (const std::string& a : args) {
        std::string quoted;
        for (char c : a) {
            quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
        }
        command += " '" + quoted + "'";
    }
    const auto out = scratch.Dir() / "stdout";
    const auto err = scratch.Dir() / "stderr";
    command += " >'" + out.string() + "' 2>'" + err.string() + "'";
    RunResult r;
    const int raw = std::system(command.c_str());
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = ReadAll(out);
    r.err = ReadAll(err);
    return r;
}

inline RunResult RunUtil(const CScratch& scratch, const std::vector<std::string>& args, int limitSec = 60) {
    return RunProgram(scratch, "rm7util", args, limitSec);
}

}  // namespace rm7::test

namespace rm7::test {

// rm7util running beside the test, its standard error read as it comes, so the test can send
// it signals at the moment it chooses. Killed if still running when the object goes away.
class CRunningUtil {
  public:
    explicit CRunningUtil(const CScratch& scratch, const std::vector<std::string>& args) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) {
            return;
        }
        const std::string program = (BinDir() / "rm7util").string();
        const std::string out = (scratch.Dir() / "stdout").string();
        std::vector<std::string> all = {program};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : all) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        m_out = scratch.Dir() / "stdout";
        m_pid = ::fork();
        if (m_pid == 0) {
            // The signals as at a terminal, whatever the test runner set; a process group of its
            // own, as a shell gives a command, so the test can signal the group as a terminal does.
            ::setpgid(0, 0);
            ::signal(SIGINT, SIG_DFL);
            ::signal(SIGTERM, SIG_DFL);
            ::dup2(fds[1], STDERR_FILENO);
            const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(fd, STDOUT_FILENO);
            ::execv(program.c_str(), argv.data());
            ::_exit(127);
        }
        ::setpgid(m_pid, m_pid);
        ::close(fds[1]);
        m_err = fds[0];
    }
    ~CRunningUtil() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_err >= 0) {
            ::close(m_err);
        }
    }
    CRunningUtil(const CRunningUtil&) = delete;
    CRunningUtil& operator=(const CRunningUtil&) = delete;

    // Reads standard error until it holds text; false when limitMs pass or it ends first.
    bool WaitFor(const std::string& text, int limitMs) {
        return WaitUntil([&](const std::string& err) { return err.find(text) != std::string::npos; }, limitMs);
    }
    // Reads standard error until done(what it holds); false when limitMs pass or it ends first.
    bool WaitUntil(const std::function<bool(const std::string&)>& done, int limitMs) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
        while (!done(m_errText)) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
            if (left <= 0 || !ReadSome(static_cast<int>(left))) {
                return done(m_errText);
            }
        }
        return true;
    }
    void Signal(int sig) const { ::kill(m_pid, sig); }
    // To every process of its group, as a terminal sends Ctrl-C.
    void SignalGroup(int sig) const { ::kill(-m_pid, sig); }
    pid_t Pid() const { return m_pid; }
    // Waits for the end; the wait status as waitpid gives it (-1 when it did not end in time).
    int Wait(int limitMs) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
        while (!m_ended) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
            if (left <= 0 || !ReadSome(static_cast<int>(left))) {
                break;
            }
        }
        int status = -1;
        // Standard error closes as the program ends.
        if (m_ended && ::waitpid(m_pid, &status, 0) == m_pid) {
            m_pid = -1;
        }
        return status;
    }
    const std::string& Err() const { return m_errText; }
    std::string Out() const { return ReadAll(m_out); }

  private:
    bool ReadSome(int limitMs) {
        pollfd pfd{m_err, POLLIN, 0};
        if (::poll(&pfd, 1, limitMs) <= 0) {
            return false;
        }
        char buffer[4096];
        const ssize_t n = ::read(m_err, buffer, sizeof buffer);
        if (n <= 0) {
            m_ended = true;
            return false;
        }
        m_errText.append(buffer, static_cast<std::size_t>(n));
        return true;
    }

    pid_t m_pid = -1;
    int m_err = -1;
    std::string m_errText;
    bool m_ended = false;
    std::filesystem::path m_out;
};

}  // namespace rm7::test
