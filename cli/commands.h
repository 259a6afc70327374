#pragma once
// rm7util's commands, each a function over the jobs the desktop application runs. The options
// arrive parsed (cli/main.cpp); what they print goes to the environment's streams, and the
// value returned is the program's exit status.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/environment.h"
#include "cli/session.h"

namespace rm7::cli {

// ports, info, send
int RunPorts(IEnvironment& env, const GlobalOptions& options);
int RunInfo(IEnvironment& env, const GlobalOptions& options);
// One line per finding about the port and the radio on it: 0 when nothing stands in the way, 1
// otherwise, 2 when there is no port to check.
int RunDoctor(IEnvironment& env, const GlobalOptions& options);
// Sends text exactly as given (paced when it begins with "!" or "@", as the Command Tester sends
// it) and prints what comes back until the line is quiet for waitMs.
int RunSend(IEnvironment& env, const GlobalOptions& options, const std::string& text, std::uint32_t waitMs);

// config save, restore, verify. An empty save file names one in the configuration folder.
int RunConfigSave(IEnvironment& env, const GlobalOptions& options, const std::string& file);
int RunConfigRestore(IEnvironment& env, const GlobalOptions& options, const std::string& file, bool advanced);
int RunConfigVerify(IEnvironment& env, const GlobalOptions& options, const std::string& file);
// What differs between file and other, or file and the radio (radio true, other empty): exit
// status 0 when equal, 1 when they differ, 2 on an error, as diff(1).
int RunConfigDiff(IEnvironment& env, const GlobalOptions& options, const std::string& file, const std::string& other,
                  bool radio);

// firmware check, send, list, update. kind: "auto", "mcu" or "dsp"; an empty folder is the
// one the desktop application uses.
int RunFirmwareCheck(IEnvironment& env, const GlobalOptions& options, const std::vector<std::string>& files,
                     const std::string& kind);
int RunFirmwareSend(IEnvironment& env, const GlobalOptions& options, const std::string& mcu, const std::string& dsp);
int RunFirmwareList(IEnvironment& env, const GlobalOptions& options, const std::string& folder);
int RunFirmwareUpdate(IEnvironment& env, const GlobalOptions& options, bool all, const std::string& folder);
// The folder's release notes as plain text; the radio is not contacted.
int RunFirmwareNotes(IEnvironment& env, const GlobalOptions& options, const std::string& folder);

// Copies what the file server (--server, else the "FileServer" setting) holds newer than the
// folder; the radio is not contacted.
int RunFirmwareFetch(IEnvironment& env, const GlobalOptions& options, const std::string& folder,
                     const std::string& server);

// banner get, set; cw get, set (memory 1 to 6).
int RunBannerGet(IEnvironment& env, const GlobalOptions& options);
int RunBannerSet(IEnvironment& env, const GlobalOptions& options, const std::string& text);
int RunCwGet(IEnvironment& env, const GlobalOptions& options);
int RunCwSet(IEnvironment& env, const GlobalOptions& options, int memory, const std::string& text);

// macros get, set, run: macros 1 to 8 in the radio, 9 to 16 in the settings. set checks 1 to 8 by
// reading them back; run sends macro N's commands and prints the answer as send does.
int RunMacrosGet(IEnvironment& env, const GlobalOptions& options);
int RunMacrosSet(IEnvironment& env, const GlobalOptions& options, int macro, const std::string& label,
                 const std::string& commands);
int RunMacrosRun(IEnvironment& env, const GlobalOptions& options, int macro, std::uint32_t waitMs);

// clock get, set: the radio's time of day beside the computer's (UTC, or local time).
struct ClockOptions {
    bool local = false;
    bool acrossMidnight = false;  // set even when the radio's date is left a day off
};
int RunClockGet(IEnvironment& env, const GlobalOptions& options, const ClockOptions& clock);
int RunClockSet(IEnvironment& env, const GlobalOptions& options, const ClockOptions& clock);

// terminal: with send, keys that text with transmission on and ends once the radio has sent it
// and transmission is off; without, a text terminal on standard input. mode: cw, rtty, psk or
// empty for the desktop application's.
struct TerminalOptions {
    std::string mode;
    std::optional<std::string> send;
};
int RunTerminal(IEnvironment& env, const GlobalOptions& options, const TerminalOptions& terminal);

// calibrate: the TX gain calibration into a dummy load; refused without options.yes.
int RunCalibrate(IEnvironment& env, const GlobalOptions& options);

}  // namespace rm7::cli
