// clock: the radio's time of day, read off its display in the time menu and set there with the
// machine of the desktop application's "Set Time" sheet. The menu is left however a run ends.
#include <cstdlib>
#include <nlohmann/json.hpp>

#include "cli/commands.h"
#include "cli/session.h"
#include "memories/date_time.h"
#include "platform/format.h"
#include "platform/result_codes.h"

namespace rm7::cli {
namespace {

// Set passes that found nothing to correct end the set; a radio that does not follow the
// taps ends it here, as the sheet's set does.
constexpr int kMaxSetPasses = CDateTimeJob::kMaxSetPasses;

struct ClockReading {
    TimeOfDay radio;
    TimeOfDay computer;
    int RadioAhead() const { return -ClockDifference(radio, computer); }
};

std::string SignedDifference(int seconds) {
    const int magnitude = std::abs(seconds);
    return StrFormat("%c%02d:%02d:%02d", seconds < 0 ? '-' : '+', magnitude / 3600, magnitude / 60 % 60,
                     magnitude % 60);
}

void PrintReading(IEnvironment& env, const GlobalOptions& options, const ClockOptions& clock,
                  const ClockReading& reading) {
    const char* zone = clock.local ? "local" : "UTC";
    if (options.json) {
        env.Out() << nlohmann::json({{"radio", TimeOfDayText(reading.radio)},
                                     {"computer", TimeOfDayText(reading.computer)},
                                     {"clock", zone},
                                     {"difference", reading.RadioAhead()}})
                         .dump(2)
                  << "\n";
        return;
    }
    env.Out() << StrFormat("Radio:      %s\n", TimeOfDayText(reading.radio).c_str())
              << StrFormat("Computer:   %s %s\n", TimeOfDayText(reading.computer).c_str(), zone)
              << StrFormat("Difference: %s (radio minus computer)\n", SignedDifference(reading.RadioAhead()).c_str());
}

// One machine on the session, its runs ending in the time menu until Leave().
class CClockRun {
  public:
    CClockRun(CSession& session, const ClockOptions& clock)
        : m_loop(session.Env().Loop()),
          m_machine(session.Radio(), [&session] { return session.Env().WallClockMs(); }),
          m_run(session) {
        m_machine.utc.Set(clock.local ? 0 : 1);
        m_machine.AllowAcrossMidnight(clock.acrossMidnight);
        // Ctrl+C must not leave the radio in its time menu: the run in hand ends, then the menu is left.
        m_loop.CatchInterrupts([this] { m_interrupted = true; });
    }
    ~CClockRun() {
        Leave();
        m_loop.CatchInterrupts({});
    }
    bool Interrupted() const { return m_interrupted; }

    Result Read(ClockReading& reading) {
        m_inMenu = true;
        const Result r = m_run.Run(m_machine, [this] { return m_machine.StartRead(); });
        reading = {m_machine.RadioTime(), m_machine.ComputerTime()};
        return r;
    }
    Result SetPass() {
        m_inMenu = true;
        return m_run.Run(m_machine, [this] { return m_machine.StartSetPass(); });
    }
    // Leaves the time menu; a failure here cannot be helped and does not hide the first one.
    Result Leave() {
        if (!m_inMenu) {
            return kOk;
        }
        m_inMenu = false;
        return m_run.Run(m_machine, [this] { return m_machine.StartExit(); });
    }
    // How the run ends: the menu is left whatever happened; the first failure, or an interrupt,
    // is the outcome.
    Result Finish(Result r) {
        if (r == kOk && Interrupted()) {
            r = kErrorCancelled;
        }
        const Result left = Leave();
        return r != kOk ? r : left;
    }
    const std::string& LastSetCommand() const { return m_machine.LastSetCommand(); }

  private:
    IRunLoop& m_loop;
    CDateTimeStateMachine m_machine;
    CMachineRun m_run;
    bool m_inMenu = false;
    bool m_interrupted = false;
};

}  // namespace

int RunClockGet(IEnvironment& env, const GlobalOptions& options, const ClockOptions& clock) {
    CSession session(env, options);
    if (const int status = session.Begin(); status != 0) {
        return status;
    }
    CClockRun run(session, clock);
    ClockReading reading;
    Result r = run.Read(reading);
    r = run.Finish(r);
    if (r != kOk) {
        return ReportFailure(env.Err(), r);
    }
    PrintReading(env, options, clock, reading);
    return 0;
}

int RunClockSet(IEnvironment& env, const GlobalOptions& options, const ClockOptions& clock) {
    CSession session(env, options);
    if (const int status = session.Begin(); status != 0) {
        return status;
    }
    CClockRun run(session, clock);
    ClockReading reading;
    Result r = run.Read(reading);
    if (r == kOk && CrossesMidnight(reading.radio, reading.computer) && clock.acrossMidnight) {
        env.Err() << "The radio's clock and the computer's lie on either side of midnight: after the set, set the "
                     "radio's date on its front panel.\n";
    }
    bool settled = false;
    for (int pass = 0; r == kOk && !settled && pass < kMaxSetPasses; ++pass) {
        r = run.Interrupted() ? kErrorCancelled : run.SetPass();
        settled = r == kOk && run.LastSetCommand().empty();
    }
    if (r == kOk) {
        r = run.Read(reading);
    }
    r = run.Finish(r);
    if (r != kOk) {
        return ReportFailure(env.Err(), r);
    }
    // The display shows whole seconds and each clock turns its second at its own moment.
    if (!settled || std::abs(reading.RadioAhead()) > 1) {
        PrintReading(env, options, clock, reading);
        return ReportFailure(env.Err(), kErrClockNotFollowing);
    }
    PrintReading(env, options, clock, reading);
    return 0;
}

}  // namespace rm7::cli
