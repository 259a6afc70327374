// clock: the radio's time of day, read off its display in the time menu and set there with the
// machine of the desktop application's "Set Time" sheet. The menu is left however a run ends.
#include <cstdlib>
#include <nlohmann/json.hpp>

#include "cli/commands.h"
#include "cli/job_views.h"
#include "cli/session.h"
#include "clock/date_time_job.h"
#include "platform/format.h"
#include "platform/result_codes.h"

namespace rm7::cli {
namespace {

std::string SignedDifference(int seconds) {
    const int magnitude = std::abs(seconds);
    return StrFormat("%c%02d:%02d:%02d", seconds < 0 ? '-' : '+', magnitude / 3600, magnitude / 60 % 60,
                     magnitude % 60);
}

// The job's end: with --json the one object (the reading in it when done), else the reading.
int EndClockJob(IEnvironment& env, const GlobalOptions& options, const ClockOptions& clock, CTerminalJobView& view,
                CDateTimeJob& job, int status) {
    const TimeOfDay radio = job.Machine().RadioTime();
    const TimeOfDay computer = job.Machine().ComputerTime();
    const int radioAhead = -ClockDifference(radio, computer);
    const char* zone = clock.local ? "local" : "UTC";
    if (options.json) {
        view.PrintJsonOutcome({{"radio", TimeOfDayText(radio)},
                               {"computer", TimeOfDayText(computer)},
                               {"clock", zone},
                               {"difference", radioAhead}});
        return status;
    }
    if (status == 0) {
        env.Out() << StrFormat("Radio:      %s\n", TimeOfDayText(radio).c_str())
                  << StrFormat("Computer:   %s %s\n", TimeOfDayText(computer).c_str(), zone)
                  << StrFormat("Difference: %s (radio minus computer)\n", SignedDifference(radioAhead).c_str());
    }
    return status;
}

// The job of the desktop program's "Set Time" sheet: its runs end in the time menu, which the
// job leaves however it ends (a signal included).
int RunClockJob(IEnvironment& env, const GlobalOptions& options, const ClockOptions& clock, bool set) {
    return RunOnRadio(env, options, [&](CSession& session, CTerminalJobView& view) {
        CDateTimeJob job(session.Radio(), view, nullptr, [&session] { return session.Env().WallClockMs(); });
        const int status = RunJobToOutcome(session, job.Shell(), view, [&] {
            set ? job.SetOnce(!clock.local, clock.acrossMidnight) : job.ReadOnce(!clock.local);
        });
        return EndClockJob(env, options, clock, view, job, status);
    });
}

}  // namespace

int RunClockGet(IEnvironment& env, const GlobalOptions& options, const ClockOptions& clock) {
    return RunClockJob(env, options, clock, false);
}

int RunClockSet(IEnvironment& env, const GlobalOptions& options, const ClockOptions& clock) {
    return RunClockJob(env, options, clock, true);
}

}  // namespace rm7::cli
