#pragma once
// CJobStepView: the view of a job whose runs come in steps, such as an editor that reads what it
// edits before the user saves, or rm7util's read, write and read-back. A step that is done is no
// end to tell: its outcome goes to the step's own continuation instead of the view. A step that
// fails or is stopped ends the job, and its outcome is told once, as every other.
//
// Threads: UI thread only, like the shell.
#include <functional>
#include <string>
#include <utility>

#include "link/job_shell.h"

namespace rm7 {

class CJobStepView final : public IJobView {
  public:
    explicit CJobStepView(IJobView& view) : m_view(view) {}

    // The next outcome, when done, calls then instead of reaching the view.
    void HoldNextDone(std::function<void()> then) { m_then = std::move(then); }

    void SetBusy(bool busy) override { m_view.SetBusy(busy); }
    void ShowProgress(const JobProgress& progress) override { m_view.ShowProgress(progress); }
    void Log(const std::string& line) override { m_view.Log(line); }
    void ShowBox(const std::string& caption, const std::string& text, MessageIcon icon) override {
        m_view.ShowBox(caption, text, icon);
    }
    void Ask(const JobQuestion& question, std::function<void(bool yes)> answer) override {
        m_view.Ask(question, std::move(answer));
    }
    void ShowOutcome(const JobOutcome& outcome) override {
        std::function<void()> then = std::exchange(m_then, nullptr);
        if (then && outcome.result == JobResult::kDone) {
            then();
            return;
        }
        m_view.ShowOutcome(outcome);
    }

  private:
    IJobView& m_view;
    std::function<void()> m_then;
};

}  // namespace rm7
