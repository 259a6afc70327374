#pragma once
// A helper program run beside this one (the simulated radio for --simulate): started with
// its standard output on a pipe so its first line can be read, in a process group of its own
// (the terminal's signals are the owner's), ended with the owner.
#include <sys/types.h>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/result.h"

namespace rm7 {

class CChildProcess {
  public:
    CChildProcess() = default;
    ~CChildProcess() { Stop(); }
    CChildProcess(const CChildProcess&) = delete;
    CChildProcess& operator=(const CChildProcess&) = delete;

    Result Start(const std::filesystem::path& program, const std::vector<std::string>& args);
    // Reads the child's first line of output, waiting at most timeoutMs; false when none came.
    bool ReadFirstLine(std::string& line, int timeoutMs);
    // Waits at most timeoutMs for the child to end by itself (its output is read and dropped);
    // true with its exit code (128 + N for signal N), false when it is still running.
    bool WaitForEnd(int timeoutMs, int& exitCode);
    // Asks the child to end (SIGTERM), then waits for it.
    void Stop();
    bool Running() const { return m_pid > 0; }
    pid_t Pid() const { return m_pid; }

  private:
    pid_t m_pid = -1;
    int m_stdout = -1;
};

// The folder this program was started from (where its sibling programs are installed).
std::filesystem::path ProgramDir();

// Starts the simulated radio for --simulate: program (empty: rm7-sim beside this program) with
// extraArgs split into words as a shell would (quotes kept together; kErrorInvalidData for a quote
// left open), then waits up to 10 s for the device path it prints as its first
// line. A program that cannot run or prints no path is stopped: 2 (file not found).
Result StartSimulatedRadio(CChildProcess& child, const std::filesystem::path& program, const std::string& extraArgs,
                           std::string& device);

// Runs the simulator's firmware maker (`rm7-sim --make-firmware dir`, simulator empty: rm7-sim
// beside this program) to its end, at most 30 s: 0, or why not.
Result MakeSimulatedFirmware(const std::filesystem::path& simulator, const std::filesystem::path& dir);

}  // namespace rm7
