#include "platform/tty.h"

#include "platform/error_text.h"
#include "platform/os_error.h"
#include "platform/result_codes.h"
#include "platform/text.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace rm7 {

namespace {

struct SpeedCode {
    std::uint32_t bps;
    speed_t code;
};

constexpr SpeedCode kSpeeds[] = {
    {4800, B4800},   {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600}, {115200, B115200}, {230400, B230400},
};

std::int64_t NowMs() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

int Ioctl(int fd, unsigned long request, void* arg) {
    int r;
    do {
        r = ::ioctl(fd, request, arg);
    } while (r < 0 && errno == EINTR);
    return r;
}

// A failure of a device that was open: EIO, ENXIO and ENODEV are what a tty gives once its
// adapter or the other end of a pty has gone, which is no matter of permissions.
Result OpenDeviceError(int err) {
    return (err == EIO || err == ENXIO || err == ENODEV) ? kErrPortGone : ResultFromErrno(err);
}

}  // namespace

Result CTtyDevice::Open(const std::string& path) {
    if (IsOpen()) {
        return kOk;
    }
    int fd;
    do {
        fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        return ResultFromErrno(errno);
    }
    const auto fail = [fd](int err) {
        ::close(fd);
        return ResultFromErrno(err);
    };

    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) {
        return fail(errno);
    }
    // TIOCEXCL keeps other users out but not root; the lock also keeps out a second opener that
    // is root, and any opener that plays by the same rules.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        return fail(EBUSY);
    }
    if (Ioctl(fd, TIOCEXCL, nullptr) != 0) {
        return fail(errno);
    }

    ::cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | CSTOPB | PARENB | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK | ISTRIP);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    ::cfsetispeed(&tio, B38400);
    ::cfsetospeed(&tio, B38400);
    if (::tcsetattr(fd, TCSANOW, &tio) != 0) {
        return fail(errno);
    }

    // The radio must see DTR and RTS off. A pty has no modem lines.
    int lines = TIOCM_DTR | TIOCM_RTS;
    if (Ioctl(fd, TIOCMBIC, &lines) != 0 && errno != ENOTTY && errno != EINVAL) {
        return fail(errno);
    }
    // A USB adapter otherwise holds received bytes for its 16 ms latency timer, which a firmware
    // load of thousands of short exchanges pays for in seconds. Drivers without it are fine.
    serial_struct serial{};
    if (Ioctl(fd, TIOCGSERIAL, &serial) == 0) {
        serial.flags |= ASYNC_LOW_LATENCY;
        Ioctl(fd, TIOCSSERIAL, &serial);
    }
    ::tcflush(fd, TCIOFLUSH);

    m_fd = fd;
    m_path = path;
    return kOk;
}

void CTtyDevice::Close() {
    if (m_fd >= 0) {
        Ioctl(m_fd, TIOCNXCL, nullptr);
        ::close(m_fd);  // also releases the lock
        m_fd = -1;
    }
    m_path.clear();
}

Result CTtyDevice::SetSpeed(std::uint32_t bps) {
    if (!IsOpen()) {
        return kErrorInvalidHandle;
    }
    const SpeedCode* speed = nullptr;
    for (const SpeedCode& s : kSpeeds) {
        if (s.bps == bps) {
            speed = &s;
        }
    }
    if (!speed) {
        return kErrorInvalidParameter;
    }
    termios previous{};
    if (::tcgetattr(m_fd, &previous) != 0) {
        return OpenDeviceError(errno);
    }
    termios tio = previous;
    ::cfsetispeed(&tio, speed->code);
    ::cfsetospeed(&tio, speed->code);
    Result result = kOk;
    if (::tcsetattr(m_fd, TCSANOW, &tio) != 0) {
        result = OpenDeviceError(errno);
    } else if (Speed() != bps) {
        // tcsetattr succeeds when any part of the change took; a speed the driver cannot do does not.
        result = kErrorInvalidParameter;
    }
    if (result != kOk) {
        ::tcsetattr(m_fd, TCSANOW, &previous);
    }
    return result;
}

std::uint32_t CTtyDevice::Speed() const {
    termios tio{};
    if (!IsOpen() || ::tcgetattr(m_fd, &tio) != 0) {
        return 0;
    }
    const speed_t code = ::cfgetospeed(&tio);
    for (const SpeedCode& s : kSpeeds) {
        if (s.code == code) {
            return s.bps;
        }
    }
    static const SpeedCode kOthers[] = {{50, B50},         {75, B75},         {110, B110},        {134, B134},
                                        {150, B150},       {200, B200},       {300, B300},        {600, B600},
                                        {1200, B1200},     {1800, B1800},     {2400, B2400},      {460800, B460800},
                                        {500000, B500000}, {921600, B921600}, {1000000, B1000000}};
    for (const SpeedCode& s : kOthers) {
        if (s.code == code) {
            return s.bps;
        }
    }
    return 0;
}

Result CTtyDevice::Purge() {
    if (!IsOpen()) {
        return kErrorInvalidHandle;
    }
    return ::tcflush(m_fd, TCIFLUSH) == 0 ? kOk : OpenDeviceError(errno);
}

Result CTtyDevice::Read(void* buf, std::size_t len, std::size_t& count) {
    count = 0;
    if (!IsOpen()) {
        return kErrorInvalidHandle;
    }
    if (len == 0) {
        return kOk;
    }
    for (;;) {
        const ssize_t n = ::read(m_fd, buf, len);
        if (n >= 0) {
            count = static_cast<std::size_t>(n);
            return kOk;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return kOk;
        }
        if (errno != EINTR) {
            return OpenDeviceError(errno);
        }
    }
}

Result CTtyDevice::Write(const void* data, std::size_t n) {
    if (!IsOpen()) {
        return kErrorInvalidHandle;
    }
    const auto* p = static_cast<const char*>(data);
    std::int64_t lastProgress = NowMs();
    while (n > 0) {
        const ssize_t written = ::write(m_fd, p, n);
        if (written > 0) {
            p += written;
            n -= static_cast<std::size_t>(written);
            lastProgress = NowMs();
            continue;
        }
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            return OpenDeviceError(errno);
        }
        const std::int64_t left = lastProgress + m_writeStallMs - NowMs();
        if (left <= 0) {
            return kErrorTimeout;
        }
        pollfd pfd{m_fd, POLLOUT, 0};
        const int ready = ::poll(&pfd, 1, static_cast<int>(left));
        if (ready < 0 && errno != EINTR) {
            return ResultFromErrno(errno);
        }
        if (ready > 0 && !(pfd.revents & POLLOUT) && (pfd.revents & (POLLHUP | POLLERR))) {
            return kErrPortGone;
        }
        if (ready > 0 && (pfd.revents & POLLNVAL)) {
            return kErrorInvalidHandle;
        }
    }
    return kOk;
}

Result CTtyDevice::WaitReadable(int stopFd, int timeoutMs, bool& readable) {
    readable = false;
    if (!IsOpen()) {
        return kErrorInvalidHandle;
    }
    const std::int64_t deadline = timeoutMs < 0 ? -1 : NowMs() + timeoutMs;
    for (;;) {
        // The stop descriptor comes first: a closing port must not keep its listener reading.
        pollfd fds[2] = {{stopFd, POLLIN, 0}, {m_fd, POLLIN, 0}};
        int wait = -1;
        if (deadline >= 0) {
            const std::int64_t left = deadline - NowMs();
            wait = left > 0 ? static_cast<int>(left) : 0;
        }
        const int ready = stopFd >= 0 ? ::poll(fds, 2, wait) : ::poll(&fds[1], 1, wait);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            return ResultFromErrno(errno);
        }
        if (ready == 0) {
            return kOk;
        }
        if (stopFd >= 0 && fds[0].revents != 0) {
            return kOk;
        }
        // A hang-up wins over pending input: the port must learn that its device is gone.
        if (fds[1].revents & (POLLHUP | POLLERR)) {
            return kErrPortGone;
        }
        if (fds[1].revents & POLLNVAL) {
            return kErrorInvalidHandle;
        }
        if (fds[1].revents & POLLIN) {
            readable = true;
            return kOk;
        }
    }
}

namespace {

std::string ProcessName(const std::string& pidDir) {
    std::ifstream in(pidDir + "/comm");
    std::string name;
    std::getline(in, name);
    return name.empty() ? "another program" : name;
}

// The UNIX 98 pty slaves (/dev/pts/N) have these majors; N counts on through them.
constexpr unsigned kPtySlaveMajorFirst = 136;
constexpr unsigned kPtySlaveMajorLast = 143;

// N of /dev/pts/N, or -1 when the device is no pty slave.
long PtyIndex(dev_t device) {
    const unsigned maj = major(device);
    if (maj < kPtySlaveMajorFirst || maj > kPtySlaveMajorLast) {
        return -1;
    }
    return static_cast<long>((maj - kPtySlaveMajorFirst) * 256u + minor(device));
}

// Whether the descriptor is a pty master whose slave is /dev/pts/<ptyIndex>.
bool IsMasterOf(const std::string& pidDir, const char* fd, long ptyIndex) {
    std::ifstream info(pidDir + "/fdinfo/" + fd);
    std::string line;
    const std::string key = "tty-index:";
    while (std::getline(info, line)) {
        if (line.compare(0, key.size(), key) == 0) {
            char* end = nullptr;
            return std::strtol(line.c_str() + key.size(), &end, 10) == ptyIndex && end != line.c_str() + key.size();
        }
    }
    return false;
}

struct DeviceUse {
    bool device = false;  // has the device open
    bool master = false;  // holds the other end of the pty the device is
};

DeviceUse UseOf(const std::string& pidDir, dev_t device, long ptyIndex) {
    DeviceUse use;
    DIR* fds = ::opendir((pidDir + "/fd").c_str());
    if (!fds) {
        return use;  // another user's process
    }
    while (dirent* fdEntry = ::readdir(fds)) {
        struct stat st {};
        const std::string link = pidDir + "/fd/" + fdEntry->d_name;
        if (fdEntry->d_name[0] == '.' || ::stat(link.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) {
            continue;
        }
        if (st.st_rdev == device) {
            use.device = true;
        } else if (ptyIndex >= 0 && IsMasterOf(pidDir, fdEntry->d_name, ptyIndex)) {
            use.master = true;
        }
    }
    ::closedir(fds);
    return use;
}

// The process holding a lock on the device node, as every port of ours takes one (flock): the
// holder of this end even where the other end of a pty is open elsewhere. 0 when none is known.
int FindLockHolder(const struct stat& node) {
    std::ifstream locks("/proc/locks");
    std::string line;
    while (std::getline(locks, line)) {
        // "3: FLOCK  ADVISORY  WRITE 4242 00:19:5 0 EOF"; a waiter reads "3: -> FLOCK ...".
        char kind[16] = {};
        long pid = 0;
        unsigned devMajor = 0;
        unsigned devMinor = 0;
        unsigned long inode = 0;
        if (std::sscanf(line.c_str(), "%*d: %15s %*s %*s %ld %x:%x:%lu", kind, &pid, &devMajor, &devMinor, &inode) ==
                5 &&
            pid > 0 && devMajor == major(node.st_dev) && devMinor == minor(node.st_dev) && inode == node.st_ino) {
            return static_cast<int>(pid);
        }
    }
    return 0;
}

// Who holds the character device open: the lock's holder when it still has the device open,
// else the first process (by /proc order) that has it open and is not the other end of the pty
// the device is (a simulator, a socat link). pid 0 when none.
int FindHolder(const struct stat& node, std::string& name) {
    const dev_t device = node.st_rdev;
    const long ptyIndex = PtyIndex(device);
    if (const int pid = FindLockHolder(node)) {
        const std::string pidDir = "/proc/" + std::to_string(pid);
        if (UseOf(pidDir, device, ptyIndex).device) {
            name = ProcessName(pidDir);
            return pid;
        }
    }
    DIR* proc = ::opendir("/proc");
    if (!proc) {
        return 0;
    }
    int found = 0;
    while (dirent* entry = ::readdir(proc)) {
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (pid <= 0 || *end != '\0') {
            continue;
        }
        const std::string pidDir = std::string("/proc/") + entry->d_name;
        const DeviceUse use = UseOf(pidDir, device, ptyIndex);
        if (use.device && !use.master) {
            found = static_cast<int>(pid);
            name = ProcessName(pidDir);
            break;
        }
    }
    ::closedir(proc);
    return found;
}

bool InGroup(gid_t gid) {
    if (::getegid() == gid || ::getgid() == gid) {
        return true;
    }
    const int n = ::getgroups(0, nullptr);
    std::vector<gid_t> groups(n > 0 ? static_cast<std::size_t>(n) : 0u);
    if (n > 0 && ::getgroups(n, groups.data()) == n) {
        for (gid_t g : groups) {
            if (g == gid) {
                return true;
            }
        }
    }
    return false;
}

std::string GroupName(gid_t gid) {
    std::vector<char> buffer(16384);
    group gr{};
    group* found = nullptr;
    if (::getgrgid_r(gid, &gr, buffer.data(), buffer.size(), &found) == 0 && found && found->gr_name) {
        return found->gr_name;
    }
    return std::to_string(gid);
}

template <typename... Args>
std::string Format(const char* format, Args... args) {
    const int n = std::snprintf(nullptr, 0, format, args...);
    std::string out(n > 0 ? static_cast<std::size_t>(n) : 0u, '\0');
    std::snprintf(out.data(), out.size() + 1, format, args...);
    return out;
}

}  // namespace

bool UserInGroup(unsigned gid) {
    return InGroup(static_cast<gid_t>(gid));
}

std::string GroupNameOf(unsigned gid) {
    return GroupName(static_cast<gid_t>(gid));
}

int FindDeviceHolder(const std::string& path, std::string& name) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) {
        return 0;
    }
    return FindHolder(st, name);
}

std::string AccessDeniedHint(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode)) {
        const bool groupMayUse = (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
        const bool othersMayUse = (st.st_mode & (S_IROTH | S_IWOTH)) == (S_IROTH | S_IWOTH);
        if (::geteuid() != 0 && ::geteuid() != st.st_uid && groupMayUse && !othersMayUse && !InGroup(st.st_gid)) {
            const std::string group = GroupName(st.st_gid);
            return Format("Add yourself to the group \"%s\" (sudo usermod -aG %s $USER), then log in again.",
                          group.c_str(), group.c_str());
        }
    }
    return Format("Check that %s is the radio's serial device and that you may read and write it (ls -l %s).",
                  path.c_str(), path.c_str());
}

std::string DeviceHolderText(const std::string& path) {
    std::string name;
    if (const int pid = FindDeviceHolder(path, name)) {
        return Format("in use by %s (pid %d)", SafeToPrint(name).c_str(), pid);
    }
    return "in use by another program";
}

std::string SerialPathProblem(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return errno == ENOENT || errno == ENOTDIR ? std::string(std::strerror(errno)) : std::string();
    }
    if (S_ISDIR(st.st_mode)) {
        return "a folder, not a serial device";
    }
    if (S_ISREG(st.st_mode)) {
        return "a regular file, not a serial device";
    }
    return S_ISCHR(st.st_mode) ? std::string() : "not a serial device";
}

std::string PortOpenFailureText(const std::string& path, Result code) {
    std::string text = ErrorText(code);
    if (code == kErrorBusy) {
        text += ": " + DeviceHolderText(path);
    }
    return text;
}

}  // namespace rm7
