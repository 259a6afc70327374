#include "txgain/txgc_progress.h"

#include "platform/format.h"

namespace rm7 {
namespace {

std::string MinutesSeconds(std::uint32_t seconds) {
    return StrFormat("%u:%02u", seconds / 60, seconds % 60);
}

std::string Mhz(std::uint32_t kHz) {
    return StrFormat("%u.%03u MHz", kHz / 1000, kHz % 1000);
}

}  // namespace

std::string ProgressStepText(const TXGCProgress& p) {
    if (p.stopping && p.phase != TXGCProgress::Phase::kEnded) {
        return "Stopping: the radio goes back to receive and its settings are put back";
    }
    switch (p.phase) {
        case TXGCProgress::Phase::kIdle:
            return "Click Calibrate to start calibration";
        case TXGCProgress::Phase::kBackup:
            return kBackupStepText;
        case TXGCProgress::Phase::kPreparing:
            return "Saving the radio's settings and preparing it";
        case TXGCProgress::Phase::kBand: {
            std::string text = StrFormat("Band %u of %u: %s at %s", p.band, CTXGCStateMachine::kBands,
                                         BandName(p.band - 1), Mhz(p.kHz).c_str());
            return p.watts == 0 ? text + ", setting up" : text + StrFormat(", %u W", p.watts);
        }
        case TXGCProgress::Phase::kRestoring:
            return "Putting the radio's settings back";
        case TXGCProgress::Phase::kEnded:
            return "Calibration ended";
    }
    return {};
}

std::string ProgressTimeText(const TXGCProgress& p) {
    std::string text = "Elapsed " + MinutesSeconds(p.elapsedSeconds);
    if (p.secondsLeft) {
        text += ", about " + MinutesSeconds(*p.secondsLeft) + " left";
    }
    return text;
}

std::optional<std::uint32_t> EstimateSecondsLeft(std::uint32_t doneStepsMs, std::uint32_t stepsDone,
                                                 std::uint32_t currentStepMs, std::uint32_t steps) {
    if (stepsDone == 0 || stepsDone >= steps) {
        return std::nullopt;
    }
    const std::uint64_t perStep = doneStepsMs / stepsDone;
    const std::uint64_t rest = perStep * (steps - stepsDone);
    const std::uint64_t left = rest > currentStepMs ? rest - currentStepMs : 0;
    return static_cast<std::uint32_t>((left + 500) / 1000);
}

std::vector<TXGCBandRow> BandRows(const std::vector<BandOutcome>& bands,
                                  const std::function<std::uint32_t(std::uint32_t band)>& kHzOf) {
    std::vector<TXGCBandRow> rows;
    if (bands.empty()) {
        return rows;
    }
    const auto reading = [](const std::string& watts) { return watts.empty() ? std::string("-") : watts; };
    for (std::uint32_t i = 0; i < CTXGCStateMachine::kBands; ++i) {
        const BandOutcome* outcome = nullptr;
        for (const BandOutcome& band : bands) {
            if (band.index == i) {
                outcome = &band;
            }
        }
        TXGCBandRow row{BandName(i), Mhz(outcome != nullptr ? outcome->kHz : kHzOf(i)), "-", "-", "Not reached"};
        if (outcome != nullptr) {
            row.fourWatts = reading(outcome->watts[0]);
            row.sixWatts = reading(outcome->watts[1]);
            row.result = outcome->steps >= 2    ? "Calibrated"
                         : outcome->tuneStopped ? "TUNE stopped"
                         : outcome->skipped     ? "Out of band"
                                                : "Not calibrated";
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

std::string CompletionTitle(const std::optional<JobOutcome>& outcome) {
    if (!outcome) {
        return "No Calibration";
    }
    switch (outcome->result) {
        case JobResult::kDone:
            return "Calibration Complete";
        case JobResult::kCancelled:
            return "Calibration Cancelled";
        case JobResult::kFailed:
            return "Calibration Failed";
    }
    return {};
}

}  // namespace rm7
