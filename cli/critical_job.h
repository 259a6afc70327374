#pragma once
// The desktop application's close rule on a terminal. While a firmware load or a configuration
// restore runs, the first SIGINT or SIGTERM only warns ("Critical Operation in Progress") and
// the job goes on; a second within kStopWindowMs stops it at its next packet or block, as the
// window's close does, and the command then says what state the radio is in. Outside such a
// job the signals end rm7util at once, as they always have (but for clock get and set, which
// catch them to leave the radio's time menu first).
//
// Threads: the loop's; the handler runs from the loop, never inside the signal.
#include <cstdint>
#include <functional>
#include <string>

#include "cli/environment.h"

namespace rm7::cli {

class CCriticalJob final {
  public:
    static constexpr std::uint32_t kStopWindowMs = 5000;

    struct Texts {
        std::string caption;    // the window's caption for the question
        std::string goesOn;     // after the first signal
        std::string stopping;   // after the second
        std::string finishing;  // after the second, when there is nothing left to stop
    };

    // say: writes a line where the user reads it. stop: asks the job to stop at its next
    // boundary; false when it has nothing left to stop.
    CCriticalJob(IRunLoop& loop, Texts texts, std::function<void(const std::string&)> say, std::function<bool()> stop);
    ~CCriticalJob();
    CCriticalJob(const CCriticalJob&) = delete;
    CCriticalJob& operator=(const CCriticalJob&) = delete;

    // A second signal asked the job to stop, and it had something left to stop.
    bool Stopped() const { return m_stopped; }

  private:
    void OnInterrupt();

    IRunLoop& m_loop;
    Texts m_texts;
    std::function<void(const std::string&)> m_say;
    std::function<bool()> m_stop;
    bool m_warned = false;
    std::uint32_t m_warnedAt = 0;
    bool m_stopped = false;
};

}  // namespace rm7::cli
