#include "platform/console.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

namespace rm7 {

struct CRawKeyboard::Saved {
    termios mode{};
    int flags = -1;
};

bool StderrIsTerminal() {
    return ::isatty(STDERR_FILENO) == 1;
}

bool StdinIsTerminal() {
    return ::isatty(STDIN_FILENO) == 1;
}

bool StdoutIsTerminal() {
    return ::isatty(STDOUT_FILENO) == 1;
}

CRawKeyboard::CRawKeyboard() : m_saved(std::make_unique<Saved>()) {
    if (!StdinIsTerminal() || ::tcgetattr(STDIN_FILENO, &m_saved->mode) != 0) {
        return;
    }
    termios raw = m_saved->mode;
    raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO | IEXTEN));
    raw.c_iflag &= static_cast<tcflag_t>(~(IXON | ICRNL | INLCR));
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    if (::tcsetattr(STDIN_FILENO, TCSANOW, &raw) != 0) {
        return;
    }
    m_saved->flags = ::fcntl(STDIN_FILENO, F_GETFL);
    if (m_saved->flags >= 0) {
        ::fcntl(STDIN_FILENO, F_SETFL, m_saved->flags | O_NONBLOCK);
    }
    m_active = true;
}

CRawKeyboard::~CRawKeyboard() {
    if (!m_active) {
        return;
    }
    if (m_saved->flags >= 0) {
        ::fcntl(STDIN_FILENO, F_SETFL, m_saved->flags);
    }
    ::tcsetattr(STDIN_FILENO, TCSANOW, &m_saved->mode);
}

int CRawKeyboard::Fd() const {
    return STDIN_FILENO;
}

long CRawKeyboard::Read(char* buffer, unsigned long n) {
    const ssize_t got = ::read(STDIN_FILENO, buffer, n);
    if (got > 0) {
        return static_cast<long>(got);
    }
    if (got < 0 && (errno == EAGAIN || errno == EINTR)) {
        return 0;
    }
    return -1;
}

}  // namespace rm7
