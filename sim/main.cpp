// rm7-sim: a simulated RM7 on a pseudo-terminal. It prints the terminal's path as its
// first line of output and answers there as the radio would, at the radio's speed only.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "sim/command_line.h"
#include "sim/make_firmware.h"
#include "sim/radio.h"

namespace rm7sim {
namespace {

constexpr int kExitUnplugged = 3;

volatile sig_atomic_t gStop = 0;

void OnStopSignal(int) {
    gStop = 1;
}

int64_t WallClockMs() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1'000'000;
}

// Microseconds: at 38400 bit/s a byte takes 260 us, so --pace needs a finer clock than ms.
uint64_t MonotonicUs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1'000'000 + static_cast<uint64_t>(ts.tv_nsec) / 1000;
}

// The line speed the utility set on its side of the pty, in bit/s (0 when unknown).
uint32_t LineSpeed(int master) {
    termios tio{};
    if (tcgetattr(master, &tio) != 0) {
        return 0;
    }
    static constexpr struct {
        speed_t code;
        uint32_t bps;
    } kSpeeds[] = {{B1200, 1200},     {B2400, 2400},     {B4800, 4800},    {B9600, 9600},
                   {B19200, 19200},   {B38400, 38400},   {B57600, 57600},  {B115200, 115200},
                   {B230400, 230400}, {B460800, 460800}, {B921600, 921600}};
    const speed_t code = cfgetospeed(&tio);
    for (const auto& s : kSpeeds) {
        if (s.code == code) {
            return s.bps;
        }
    }
    return static_cast<uint32_t>(code);  // a C library whose speed_t is the number itself
}

// --record: one line per read or write, time in ms since start, bytes escaped.
class Recorder {
  public:
    bool Open(const std::string& path) {
        file_ = path.empty() ? nullptr : std::fopen(path.c_str(), "w");
        return path.empty() || file_ != nullptr;
    }
    ~Recorder() {
        if (file_ != nullptr) {
            std::fclose(file_);
        }
    }
    void Line(uint64_t ms, const char* what, const uint8_t* bytes, size_t n, uint32_t speed) {
        if (file_ == nullptr) {
            return;
        }
        std::fprintf(file_, "%10llu %s %6u ", static_cast<unsigned long long>(ms), what, speed);
        for (size_t i = 0; i < n; ++i) {
            if (bytes[i] >= 0x20 && bytes[i] < 0x7F && bytes[i] != '\\') {
                std::fputc(bytes[i], file_);
            } else {
                std::fprintf(file_, "\\x%02X", bytes[i]);
            }
        }
        std::fputc('\n', file_);
        std::fflush(file_);
    }

  private:
    std::FILE* file_ = nullptr;
};

// --state: the radio's settings as text, replaced whole (temp file and rename) when they change, so
// a reader never sees half of it.
class StateFile {
  public:
    explicit StateFile(std::string path) : path_(std::move(path)) {}
    void Update(const Radio& radio, uint64_t nowMs) {
        if (path_.empty()) {
            return;
        }
        std::string text = radio.StateText(nowMs);
        if (text == last_) {
            return;
        }
        const std::string temp = path_ + ".tmp";
        std::FILE* file = std::fopen(temp.c_str(), "w");
        if (file == nullptr) {
            return;
        }
        const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
        if (std::fclose(file) == 0 && written && std::rename(temp.c_str(), path_.c_str()) == 0) {
            last_ = std::move(text);
        }
    }

  private:
    std::string path_;
    std::string last_;
};

struct Pty {
    int master = -1;
    int slave = -1;  // held open so the master never sees EIO when the utility closes its side
    std::string path;
    ~Pty() {
        if (slave >= 0) {
            close(slave);
        }
        if (master >= 0) {
            close(master);
        }
    }
};

bool OpenPty(Pty& pty, std::string& error) {
    pty.master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (pty.master < 0 || grantpt(pty.master) != 0 || unlockpt(pty.master) != 0) {
        error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    const char* name = ptsname(pty.master);
    if (name == nullptr) {
        error = std::string("ptsname: ") + std::strerror(errno);
        return false;
    }
    pty.path = name;
    pty.slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios tio{};
    if (pty.slave < 0 || tcgetattr(pty.slave, &tio) != 0) {
        error = "cannot open " + pty.path + ": " + std::strerror(errno);
        return false;
    }
    cfmakeraw(&tio);
    cfsetispeed(&tio, B38400);
    cfsetospeed(&tio, B38400);
    if (tcsetattr(pty.slave, TCSANOW, &tio) != 0) {
        error = "cannot set " + pty.path + " raw: " + std::strerror(errno);
        return false;
    }
    const int flags = fcntl(pty.master, F_GETFL);
    if (flags < 0 || fcntl(pty.master, F_SETFL, flags | O_NONBLOCK) != 0) {
        error = std::string("cannot make the pty non-blocking: ") + std::strerror(errno);
        return false;
    }
    return true;
}

// --link PATH: a symlink to the slave, replacing a stale symlink but never a real file, nor a
// link to a device still there (another simulator's: a pty's device goes with its simulator).
class Link {
  public:
    bool Create(const std::string& path, const std::string& target, std::string& error) {
        struct stat st {};
        if (lstat(path.c_str(), &st) == 0) {
            if (!S_ISLNK(st.st_mode)) {
                error = path + " exists and is not a symlink";
                return false;
            }
            struct stat device {};
            if (stat(path.c_str(), &device) == 0 && S_ISCHR(device.st_mode)) {
                char old[4096] = {};
                const ssize_t n = readlink(path.c_str(), old, sizeof old - 1);
                error = path + " already leads to " + std::string(old, n > 0 ? static_cast<size_t>(n) : 0) +
                        ", a device in use (another rm7-sim?): end that one or choose another --link";
                return false;
            }
            unlink(path.c_str());
        }
        if (symlink(target.c_str(), path.c_str()) != 0) {
            error = "cannot create symlink " + path + ": " + std::strerror(errno);
            return false;
        }
        path_ = path;
        target_ = target;
        return true;
    }
    ~Link() {
        if (path_.empty()) {
            return;
        }
        char buffer[4096];
        const ssize_t n = readlink(path_.c_str(), buffer, sizeof buffer - 1);
        if (n >= 0 && std::string(buffer, static_cast<size_t>(n)) == target_) {
            unlink(path_.c_str());  // only our own: another simulator may have taken the name since
        }
    }

  private:
    std::string path_;
    std::string target_;
};

void WriteAll(int fd, const std::vector<uint8_t>& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return;  // nobody reads and the pty is full: like a UART, the radio sends regardless
        }
        done += static_cast<size_t>(n);
    }
}

// The stop signals are blocked except inside ppoll, so none is lost between checks; returns
// the mask to wait with.
sigset_t InstallStopSignals() {
    sigset_t stopSignals, waitMask;
    sigemptyset(&stopSignals);
    // Every signal that ends the simulator by default and that a person or a terminal sends, so
    // that each leaves through the same end (the --link removed, the state written).
    const int signals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
    for (int sig : signals) {
        sigaddset(&stopSignals, sig);
    }
    sigprocmask(SIG_BLOCK, &stopSignals, &waitMask);
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    for (int sig : signals) {
        sigdelset(&waitMask, sig);
        sigaction(sig, &action, nullptr);
    }
    return waitMask;
}

// How long ppoll may sleep: until the radio's next output is due, or (null) until input.
const timespec* UntilNextOutput(const Radio& radio, uint64_t nowUs, timespec& wait) {
    const uint64_t due = radio.NextOutputDueUs();
    if (due == UINT64_MAX) {
        return nullptr;
    }
    const uint64_t us = due > nowUs ? due - nowUs : 0;
    wait.tv_sec = static_cast<time_t>(us / 1'000'000);
    wait.tv_nsec = static_cast<long>(us % 1'000'000) * 1000;
    return &wait;
}

// What the utility wrote, to the radio and the record; an exit status when the pty failed.
std::optional<int> TakeInput(Radio& radio, const Pty& pty, Recorder& recorder, uint64_t nowUs) {
    uint8_t buffer[4096];
    const ssize_t n = read(pty.master, buffer, sizeof buffer);
    if (n > 0) {
        const uint32_t speed = LineSpeed(pty.master);
        recorder.Line(nowUs / 1000, "in ", buffer, static_cast<size_t>(n), speed);
        radio.ReceiveUs(buffer, static_cast<size_t>(n), speed, nowUs);
    } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
        std::fprintf(stderr, "rm7-sim: read: %s\n", std::strerror(errno));
        return 1;
    }
    return std::nullopt;
}

// Answers the radio at its speed on the pty until a stop signal (0), a failure (1) or the
// unplug fault (3).
// start: the monotonic time the radio's clock counts from.
int Serve(Radio& radio, Pty& pty, Recorder& recorder, StateFile& state, const sigset_t& waitMask, uint64_t start) {
    std::string lastError;
    while (gStop == 0) {
        state.Update(radio, (MonotonicUs() - start) / 1000);
        timespec wait{};
        const timespec* timeout = UntilNextOutput(radio, MonotonicUs() - start, wait);
        pollfd pfd{pty.master, POLLIN, 0};
        const int ready = ppoll(&pfd, 1, timeout, &waitMask);
        if (ready < 0 && errno != EINTR) {
            std::fprintf(stderr, "rm7-sim: poll: %s\n", std::strerror(errno));
            return 1;
        }
        const uint64_t now = MonotonicUs() - start;
        if (ready > 0 && (pfd.revents & POLLIN) != 0) {
            if (const std::optional<int> status = TakeInput(radio, pty, recorder, now)) {
                return *status;
            }
        } else if (ready > 0 && (pfd.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
            std::fprintf(stderr, "rm7-sim: the pseudo-terminal failed\n");
            return 1;
        }
        state.Update(radio, now / 1000);
        if (radio.Unplugged()) {
            std::fprintf(stderr, "rm7-sim: unplugged after %u packets\n", radio.Packets());
            close(pty.master);
            pty.master = -1;
            return kExitUnplugged;
        }
        const std::vector<uint8_t> out = radio.TakeOutputUs(now);
        if (!out.empty()) {
            recorder.Line(now / 1000, "out", out.data(), out.size(), radio.Speed());
            WriteAll(pty.master, out);
        }
        if (radio.Error() != lastError) {
            lastError = radio.Error();
            std::fprintf(stderr, "rm7-sim: %s\n", lastError.c_str());
        }
    }
    return 0;
}

int Run(int argc, char** argv) {
    CommandLine commandLine;
    if (const std::optional<int> status = ParseCommandLine(argc, argv, commandLine)) {
        return *status;
    }
    if (!commandLine.makeFirmwareDir.empty()) {
        std::string error;
        if (!MakeFirmware(commandLine.makeFirmwareDir, error)) {
            std::fprintf(stderr, "rm7-sim: %s\n", error.c_str());
            return 2;
        }
        return 0;
    }
    Options& options = commandLine.options;
    // The radio's clock starts at the computer's time now and runs on the monotonic clock.
    const uint64_t start = MonotonicUs();
    options.clockEpochMs = WallClockMs();
    Radio radio(options);
    if (!radio.Error().empty()) {
        std::fprintf(stderr, "rm7-sim: %s\n", radio.Error().c_str());
        return 2;
    }
    Recorder recorder;
    if (!recorder.Open(options.recordFile)) {
        std::fprintf(stderr, "rm7-sim: cannot write %s: %s\n", options.recordFile.c_str(), std::strerror(errno));
        return 2;
    }
    std::string error;
    Pty pty;
    if (!OpenPty(pty, error)) {
        std::fprintf(stderr, "rm7-sim: %s\n", error.c_str());
        return 1;
    }
    // Before the link and the printed path: a signal sent as soon as either is seen still ends
    // the simulator its own way, the link removed.
    const sigset_t waitMask = InstallStopSignals();
    Link link;
    if (!commandLine.linkPath.empty() && !link.Create(commandLine.linkPath, pty.path, error)) {
        std::fprintf(stderr, "rm7-sim: %s\n", error.c_str());
        return 2;
    }
    std::printf("%s\n", pty.path.c_str());
    std::fflush(stdout);

    StateFile state(commandLine.stateFile);
    const int status = Serve(radio, pty, recorder, state, waitMask, start);
    state.Update(radio, (MonotonicUs() - start) / 1000);
    return status;
}

}  // namespace
}  // namespace rm7sim

int main(int argc, char** argv) {
    return rm7sim::Run(argc, argv);
}
