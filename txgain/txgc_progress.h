#pragma once
// What a view shows of a TX gain calibration, decided here without any window: the step a run is
// at (band N of 11, the 4 W or 6 W step), whether the carrier is keyed, the time spent and an
// estimate of the time left; after the run, a row per band and the completion page's title.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "link/job_shell.h"
#include "txgain/txgc_machine.h"

namespace rm7 {

// Two power steps on each of the eleven bands.
inline constexpr std::uint32_t kTXGCSteps = 2 * CTXGCStateMachine::kBands;

struct TXGCProgress {
    enum class Phase {
        kIdle,       // nothing has run yet
        kBackup,     // the configuration backup before the transmitter is keyed
        kPreparing,  // the radio's settings saved and set, before the first band
        kBand,       // a band's power steps
        kRestoring,  // the last restore: receive and the radio's own settings
        kEnded,
    };
    Phase phase = Phase::kIdle;
    std::uint32_t band = 0;  // 1 to 11 in kBand
    std::uint32_t kHz = 0;
    std::uint32_t watts = 0;     // 4 or 6 once the band's step has begun; 0 before
    std::uint32_t position = 0;  // power steps begun, of kTXGCSteps
    bool transmitting = false;
    bool stopping = false;  // a stop was asked for: the run is putting the radio back
    std::uint32_t elapsedSeconds = 0;
    std::optional<std::uint32_t> secondsLeft;  // none until a step has been timed

    bool operator==(const TXGCProgress&) const = default;
};

// "Band 3 of 11: 60 m at 5.400 MHz, 6 W"; "Backing up the radio's configuration"; ...
std::string ProgressStepText(const TXGCProgress& progress);
// "Elapsed 1:23, about 2:10 left" ("Elapsed 0:05" while there is no estimate).
std::string ProgressTimeText(const TXGCProgress& progress);
// The time the remaining steps take at the pace of those done, less what the current one has had.
std::optional<std::uint32_t> EstimateSecondsLeft(std::uint32_t doneStepsMs, std::uint32_t stepsDone,
                                                 std::uint32_t currentStepMs, std::uint32_t steps = kTXGCSteps);

// One row of the completion page's table.
struct TXGCBandRow {
    std::string band;       // "40 m"
    std::string frequency;  // "7.100 MHz"
    std::string fourWatts;  // the reading the 4 W step settled at, or "-"
    std::string sixWatts;
    std::string result;  // "Calibrated", "Out of band", "TUNE stopped", "Not calibrated", "Not reached"
};
// A row for each of the eleven bands, those the run did not reach too; none when nothing ran.
// kHzOf: a band's calibration frequency (the radio's 60 m edges decide band 2's).
std::vector<TXGCBandRow> BandRows(const std::vector<BandOutcome>& bands,
                                  const std::function<std::uint32_t(std::uint32_t band)>& kHzOf);

// "Calibration Complete", "Calibration Cancelled", "Calibration Failed", "No Calibration".
std::string CompletionTitle(const std::optional<JobOutcome>& outcome);

}  // namespace rm7
