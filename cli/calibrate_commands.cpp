// calibrate: the TX gain calibration of the desktop application's wizard. It keys the radio's
// transmitter, so it runs only when told a dummy load is on (--yes), and a SIGINT or SIGTERM
// stops it through its restore: the radio goes back to receive and to its own settings first.
#include <nlohmann/json.hpp>

#include "cli/backup_step.h"
#include "cli/commands.h"
#include "cli/session.h"
#include "platform/format.h"
#include "platform/result_codes.h"
#include "txgain/txgc_machine.h"

namespace rm7::cli {
namespace {

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end - start));
        start = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}

}  // namespace

int RunCalibrate(IEnvironment& env, const GlobalOptions& options) {
    if (!options.yes) {
        // Nothing is opened, nothing is sent: the transmitter must not be keyed into an antenna.
        env.Err() << "rm7util: calibrate keys the transmitter: connect a dummy load of 6 W or more to ANT and run "
                     "again with --yes\n";
        return 2;
    }
    CSession session(env, options);
    if (const int status = session.Begin(); status != 0) {
        return status;
    }
    if (const int status = BackUpBeforeJob(session, BackupReason::kTxGain); status != 0) {
        return status;
    }
    // Its log lines reach standard error as the session's status lines.
    CTXGCStateMachine machine(session.Radio());
    // A stop signal stops the run at its next step; the restore that follows is never cut short.
    env.Loop().CatchInterrupts([&machine, &env] {
        if (machine.Cancel()) {
            env.Err() << "Stopping: the radio is put back to receive and to its settings first\n";
        }
    });
    const Result r = CMachineRun(session).Run(machine, [&machine] { return machine.StartCalibration(0); });
    env.Loop().CatchInterrupts({});
    if (!machine.IsIdle() && machine.transmitting) {
        // Given up on (a radio that never let the run end): the carrier stops all the same.
        session.Radio().SendText("RX;");
    }

    const std::vector<std::string> summary = SplitLines(machine.SummaryText());
    if (options.json) {
        nlohmann::json bands = nlohmann::json::array();
        for (const BandOutcome& band : machine.Bands()) {
            bands.push_back({{"frequency_khz", band.kHz},
                             {"power_steps", band.steps},
                             {"swr", band.swrTenths / 10.0},
                             {"skipped", band.skipped},
                             {"tune_stopped", band.tuneStopped}});
        }
        env.Out() << nlohmann::json({{"result", StrFormat("0x%08X", r)},
                                     {"elapsed_seconds", machine.ElapsedSeconds()},
                                     {"summary", summary},
                                     {"bands", bands}})
                         .dump(2)
                  << "\n";
    } else {
        for (const std::string& line : summary) {
            env.Out() << line << "\n";
        }
    }
    if (machine.MayStillTransmit() && options.json) {
        // Without --json the summary above has said it.
        env.Err() << kMayStillTransmitText << "\n";
    }
    if (r != kOk) {
        return ReportFailure(env.Err(), r);
    }
    return 0;
}

}  // namespace rm7::cli
