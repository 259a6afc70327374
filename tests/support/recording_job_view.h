#pragma once
// The one recording view of the job shell: every job's tests run through it. It records what
// the shell tells a view; questions wait for the test's answer (Answer()), unless `answer` says
// what every question gets at once.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "link/job_shell.h"

namespace rm7::test {

class CRecordingJobView final : public IJobView {
  public:
    struct Box {
        std::string caption;
        std::string text;
        MessageIcon icon;
    };

    void SetBusy(bool on) override { busy.push_back(on); }
    void ShowProgress(const JobProgress& p) override {
        progress = p;
        if (p.secondsLeft > 0 && (countdown.empty() || countdown.back() != p.secondsLeft)) {
            countdown.push_back(p.secondsLeft);
        }
    }
    void Log(const std::string& line) override { log.push_back(line); }
    void ShowBox(const std::string& caption, const std::string& text, MessageIcon icon) override {
        boxes.push_back({caption, text, icon});
    }
    void Ask(const JobQuestion& question, std::function<void(bool yes)> reply) override {
        questions.push_back(question);
        if (onAsk) {
            onAsk(question);
        }
        if (answer) {
            reply(*answer);
        } else {
            pending.push_back(std::move(reply));
        }
    }
    void ShowOutcome(const JobOutcome& outcome) override {
        outcomes.push_back(outcome);
        if (onOutcome) {
            onOutcome(outcome);
        }
    }

    // Answers the oldest open question.
    void Answer(bool yes) {
        if (pending.empty()) {
            return;
        }
        const std::function<void(bool)> reply = std::move(pending.front());
        pending.erase(pending.begin());
        reply(yes);
    }
    bool Ended() const { return !outcomes.empty(); }
    const JobOutcome& Last() const { return outcomes.back(); }

    std::vector<bool> busy;  // each change of the busy cursor
    JobProgress progress;
    std::vector<std::uint32_t> countdown;  // each second of a countdown, as shown
    std::vector<std::string> log;
    std::vector<Box> boxes;
    std::vector<JobQuestion> questions;
    std::vector<std::function<void(bool)>> pending;
    std::vector<JobOutcome> outcomes;
    std::optional<bool> answer;
    std::function<void(const JobOutcome&)> onOutcome;
    std::function<void(const JobQuestion&)> onAsk;
};

}  // namespace rm7::test
