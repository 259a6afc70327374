#pragma once
// A manual-reset event that the pump can wait on: signalled stays signalled until Reset().
// Signal() may be called from any thread. An eventfd for poll(2), non-blocking and close-on-exec;
// on Windows an event object for WaitForMultipleObjects, Fd() holding its handle.
namespace rm7 {

class CEventFd {
  public:
    CEventFd();
    ~CEventFd();
    CEventFd(const CEventFd&) = delete;
    CEventFd& operator=(const CEventFd&) = delete;

    bool Valid() const { return m_fd >= 0; }
    void Signal();
    void Reset();
    // Readable (POLLIN) while signalled.
    int Fd() const { return m_fd; }

  private:
    int m_fd;
};

}  // namespace rm7
