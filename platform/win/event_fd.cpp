#include "platform/event_fd.h"

#include "platform/win/wide_text.h"

namespace rm7 {

// A manual-reset event: WaitForMultipleObjects sees it signalled until Reset().
CEventFd::CEventFd() : m_fd(HandleToInt(::CreateEventW(nullptr, TRUE, FALSE, nullptr))) {}

CEventFd::~CEventFd() {
    if (m_fd >= 0) {
        ::CloseHandle(IntToHandle(m_fd));
    }
}

void CEventFd::Signal() {
    if (m_fd >= 0) {
        ::SetEvent(IntToHandle(m_fd));
    }
}

void CEventFd::Reset() {
    if (m_fd >= 0) {
        ::ResetEvent(IntToHandle(m_fd));
    }
}

}  // namespace rm7
