// rm7-sim: a simulated RM7 on a pseudo-terminal. It prints the terminal's path as its
// first line of output and answers there as the radio would, at the radio's speed only.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

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

constexpr const char* kDescription =
    "rm7-sim - a simulated RM7 transceiver on a pseudo-terminal.\n"
    "\n"
    "Prints the path of its serial device (e.g. /dev/pts/5) as the first line of output and\n"
    "then answers there like a radio: the command set, the EEPROM, the firmware boot loader\n"
    "and the DSP load. It answers only at its own speed, just as a real radio does, so point\n"
    "RM7 Utility or rm7util at the printed path and let it find the speed. Stop it with\n"
    "Ctrl+C.";

constexpr const char* kFooter =
    "\nExamples:\n"
    "  rm7-sim --link /tmp/rm7                  then use /tmp/rm7 as the serial port\n"
    "  rm7-sim --speed 9600 --serial 300        a radio at 9600 bit/s, serial number 00300\n"
    "  rm7-sim --boot-loader --flash-dump out   a radio waiting for firmware; the loaded\n"
    "                                           images are written to out/mcu.bin, out/dsp.bin\n"
    "  rm7-sim --faults drop=0.01,nak=0.02,seed=7   an unreliable cable\n"
    "  rm7-sim --clock-offset 3725              a radio whose clock is 1 h 2 min 5 s fast\n"
    "  rm7-sim --rx-text \"CQ CQ DE N0CALL K\"   a radio that hears a call, for the terminal\n"
    "  rm7-sim --make-firmware fw               write a firmware pair (03.00) and release notes\n"
    "                                           into fw, to load into the simulator, and exit\n"
    "\nAfter a firmware load the radio reports the version found in the loaded image after the\n"
    "marker SIMVERSION: (four digits, SIMVERSION:0288 for 02.88); without one it keeps the version\n"
    "it had.\n"
    "\nExit status: 0 when stopped, 2 on a bad option or file, 3 when the unplug fault fired.";

struct CommandLine {
    Options options;
    std::string stateFile;
    std::string linkPath;
    std::string makeFirmwareDir;
};

// Reads the command line into the radio's options; an exit status when the program ends here
// (--help, a bad option or value).
std::optional<int> ParseCommandLine(int argc, char** argv, CommandLine& out) {
    Options& options = out.options;
    std::string mcu = "02.54";
    std::string dsp = "02.54";
    std::string faults;
    double clockOffsetSec = 0;

    CLI::App app{kDescription, "rm7-sim"};
    app.footer(kFooter);
    app.set_version_flag("--version", "rm7-sim " RM7_SIM_VERSION);
    app.add_option("--speed", options.speed, "The radio's serial speed in bit/s")
        ->check(CLI::IsMember({4800, 9600, 19200, 38400, 57600, 115200}))
        ->default_val(38400)
        ->type_name("BPS");
    app.add_option("--serial", options.serial, "Serial number, stored in a new EEPROM (0-65535)")
        ->default_val(1234)
        ->type_name("N");
    app.add_option("--mcu", mcu, "Main processor firmware version")->default_val("02.54")->type_name("VV.VV");
    app.add_option("--dsp", dsp, "Signal processor firmware version")->default_val("02.54")->type_name("VV.VV");
    app.add_option("--eeprom", options.eepromFile,
                   "EEPROM image (33792 bytes): loaded at start, saved after every write; created\n"
                   "erased (0xFF) with the serial number when missing")
        ->type_name("FILE");
    app.add_flag("--boot-loader", options.bootLoader, "Start in the boot loader, waiting for a firmware load");
    app.add_flag("--transmitting", options.transmitting,
                 "Start with the TUNE carrier keyed, as a program stopped while it transmitted leaves it");
    app.add_option("--mid-packet", options.midPacket,
                   "Start in the boot loader in the middle of a firmware download, N bytes of a\n"
                   "packet already received, as an interrupted load leaves it")
        ->check(CLI::Range(1, 131))
        ->type_name("N");
    app.add_option("--device", options.device, "Identify as another device: RM7, RM6, R5 or any name")
        ->default_val("RM7")
        ->type_name("NAME");
    app.add_option("--flash-dump", options.flashDumpDir,
                   "After each firmware load write the received image to DIR/mcu.bin (0x800-0x1FD7F)\n"
                   "or DIR/dsp.bin")
        ->type_name("DIR");
    app.add_option("--faults", faults,
                   "Faults on demand, e.g. drop=0.01,nak=0.02,garble=0.005,lose=0.001,seed=7,unplug=40:\n"
                   "lost answers, rejected packets, damaged answer bytes, lost packet bytes, the\n"
                   "random seed, and the radio vanishing after that many loader packets\n"
                   "(unplug=reset: as it takes the reset command that ends a load or a restore;\n"
                   "unplug=tune: as it keys its TUNE carrier, left transmitting; unplug=blocks:N:\n"
                   "after N configuration blocks read or written), and on a band 0-10\n"
                   "txpower=BAND (the displayed power never settles), swr=BAND (SWR 3.2:1) or\n"
                   "tunestop=BAND (the TUNE carrier drops after its first power reading) or\n"
                   "outofband=BAND (the power display reads END: the radio may not transmit there);\n"
                   "garble=CMD[:N]: the N-th answer to CMD (e.g. BN for \"BN;\") has a digit turned\n"
                   "into a letter, once")
        ->type_name("LIST");
    app.add_option("--latency", options.latencyMs, "Delay before each answer, in ms")->type_name("MS");
    app.add_flag("--pace", options.pace, "Send answers at the wire speed of the current baud rate");
    app.add_option("--record", options.recordFile, "Write every byte in and out, with times, to FILE")
        ->type_name("FILE");
    app.add_option("--state", out.stateFile,
                   "Keep FILE holding the radio's settings (band, VFOs, RIT, XIT, antenna, power, menu\n"
                   "parameters), whether it is transmitting and the carriers keyed so far; rewritten\n"
                   "whenever one changes and at exit")
        ->type_name("FILE");
    app.add_option("--clock-offset", clockOffsetSec,
                   "Start the radio's clock this many seconds ahead of the computer's UTC time\n"
                   "(negative: behind)")
        ->check(CLI::Range(-864000.0, 864000.0))
        ->type_name("SEC");
    app.add_option("--rx-text", options.rxText,
                   "Text the radio decodes, reported to the text terminal (\"TB;\") one character\n"
                   "every --rx-char-ms from the first byte the radio hears")
        ->type_name("TEXT");
    app.add_option("--rx-char-ms", options.rxCharMs, "How long the radio takes to decode a character (default 50)")
        ->type_name("MS");
    app.add_option("--tx-char-ms", options.txCharMs,
                   "How long a character handed over with \"KY\" takes on the air (default 100)")
        ->type_name("MS");
    app.add_option("--link", out.linkPath, "Also create a symlink PATH to the device (removed at exit)")
        ->type_name("PATH");
    app.add_option("--make-firmware", out.makeFirmwareDir,
                   "Write fmcu0300.hex, fdsp0300.hex and ffwnotes.rtf into DIR and exit: firmware\n"
                   "newer than the simulator's own, for trying a copy and a load without a radio")
        ->type_name("DIR");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int status = app.exit(e);
        return status == 0 ? 0 : 2;
    }
    options.clockOffsetMs = std::llround(clockOffsetSec * 1000);
    std::string error;
    if (!ParseVersion(mcu, options.mcuVersion) || !ParseVersion(dsp, options.dspVersion)) {
        std::fprintf(stderr, "rm7-sim: a version is two digits, a point and two digits, e.g. 02.54\n");
        return 2;
    }
    if (!ParseFaults(faults, options.faults, error)) {
        std::fprintf(stderr, "rm7-sim: --faults: %s\n", error.c_str());
        return 2;
    }
    return std::nullopt;
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
