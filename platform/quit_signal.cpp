#include "platform/quit_signal.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <initializer_list>

namespace rm7 {
namespace {

int g_pipe[2] = {-1, -1};

void OnQuitSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &byte, 1);
}

}  // namespace

int QuitSignalFd() {
    if (g_pipe[0] >= 0) {
        return g_pipe[0];
    }
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        g_pipe[0] = g_pipe[1] = -1;
        return -1;
    }
    struct sigaction action {};
    action.sa_handler = OnQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        ::sigaction(sig, &action, nullptr);
    }
    return g_pipe[0];
}

int DrainQuitSignals() {
    int count = 0;
    char bytes[16];
    ssize_t n = 0;
    while (g_pipe[0] >= 0 && (n = ::read(g_pipe[0], bytes, sizeof bytes)) > 0) {
        count += static_cast<int>(n);
    }
    return count;
}

}  // namespace rm7
