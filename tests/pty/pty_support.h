#pragma once
// Helpers for tests that run the real programs over a real pseudo-terminal.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
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

// Runs rm7util with the arguments (each quoted), with a hard limit so a hang fails the test.
inline RunResult RunUtil(const CScratch& scratch, const std::vector<std::string>& args, int limitSec = 60) {
    std::string command = "timeout " + std::to_string(limitSec) + " '" + (BinDir() / "rm7util").string() + "'";
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

}  // namespace rm7::test
