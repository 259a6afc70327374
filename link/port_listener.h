#pragma once
// CPortListener: the thread a port keeps while it is open, which waits until the device has
// something to read, or has failed, and tells the port through the pump.
//
// After a readable notice the thread waits until the UI thread has taken what came
// (Acknowledge) before it waits on the device again, so an unread queue never floods the pump.
// After a failure notice it ends. Prepare, Start, Stop, Acknowledge and Retire run on the UI
// thread; the two functions given to Start run on the listener thread, `notify` with the
// listener's lock held (it only posts).
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/event_fd.h"
#include "platform/result.h"

namespace rm7 {

class CPortListener {
  public:
    // Waits without a time-out until the device is readable or `stopFd` (Stop) is signalled;
    // kOk with `readable` set, or the device's failure.
    using Wait = std::function<Result(int stopFd, bool& readable)>;
    // Posts the notice: `why` kOk for data, otherwise the failure; `generation` tells this
    // opening's notices from a late one of an earlier opening.
    using Notify = std::function<void(Result why, std::uint32_t generation)>;

    CPortListener() = default;
    ~CPortListener() { Stop(); }
    CPortListener(const CPortListener&) = delete;
    CPortListener& operator=(const CPortListener&) = delete;

    // Before the device is opened, so that a port never holds a device it cannot listen to:
    // kErrorNoSystemResources when the stop event cannot be made.
    Result Prepare();
    // Starts the thread for a new opening (after Prepare); returns that opening's generation.
    std::uint32_t Start(Wait wait, Notify notify);
    // Ends the thread and waits for it; nothing is posted afterwards.
    void Stop();
    // The UI thread has taken what the last notice announced.
    void Acknowledge();
    // The device has ended and stays readable: the thread posts nothing more and leaves.
    void Retire();
    std::uint32_t Generation() const { return m_generation; }

  private:
    void Listen(const Wait& wait, const Notify& notify, std::uint32_t generation);

    std::unique_ptr<CEventFd> m_prepared;
    std::unique_ptr<CEventFd> m_stop;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_noticePending = false;
    bool m_stopping = false;
    std::uint32_t m_generation = 0;  // counts openings
};

}  // namespace rm7
