#include "platform/tty.h"

#include "platform/event_fd.h"
#include "platform/result_codes.h"
#include "tests/support/temp_folder.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace rm7 {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

constexpr int kDeadlineMs = 30000;

// A pseudo-terminal: the device under test opens the slave, the test plays the radio on the master.
class Pty {
  public:
    Pty() {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (m_master >= 0 && ::grantpt(m_master) == 0 && ::unlockpt(m_master) == 0) {
            m_slave = ::ptsname(m_master);
        }
    }
    ~Pty() { CloseMaster(); }
    bool Ok() const { return m_master >= 0 && !m_slave.empty(); }
    int Master() const { return m_master; }
    const std::string& Slave() const { return m_slave; }
    void CloseMaster() {
        if (m_master >= 0) {
            ::close(m_master);
            m_master = -1;
        }
    }
    // Reads from the master until n bytes came or the deadline passed.
    std::string ReadMaster(std::size_t n) {
        std::string got;
        while (got.size() < n) {
            pollfd p{m_master, POLLIN, 0};
            if (::poll(&p, 1, kDeadlineMs) <= 0) {
                break;
            }
            char buf[4096];
            const ssize_t r = ::read(m_master, buf, std::min(sizeof buf, n - got.size()));
            if (r <= 0) {
                break;
            }
            got.append(buf, static_cast<std::size_t>(r));
        }
        return got;
    }
    termios SlaveSettings() const {
        termios tio{};
        ::tcgetattr(m_master, &tio);  // a master reports its slave's settings
        return tio;
    }

  private:
    int m_master = -1;
    std::string m_slave;
};

// Reads from the device until n bytes came or the deadline passed.
std::string ReadDevice(CTtyDevice& tty, std::size_t n) {
    std::string got;
    while (got.size() < n) {
        bool readable = false;
        if (tty.WaitReadable(-1, kDeadlineMs, readable) != kOk || !readable) {
            break;
        }
        char buf[4096];
        std::size_t count = 0;
        if (tty.Read(buf, std::min(sizeof buf, n - got.size()), count) != kOk) {
            break;
        }
        got.append(buf, count);
    }
    return got;
}

std::size_t OpenDescriptors() {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        ++n;
    }
    return n;
}

class TtyTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(pty.Ok()); }
    Pty pty;
    CTtyDevice tty;
};

TEST_F(TtyTest, OpensRaw8N1At38400WithoutFlowControl) {
    ASSERT_EQ(tty.Open(pty.Slave()), kOk);
    EXPECT_TRUE(tty.IsOpen());
    EXPECT_EQ(tty.Speed(), 38400u);
    EXPECT_EQ(tty.Open(pty.Slave()), kOk);  // already open: unchanged

    const termios tio = pty.SlaveSettings();
    EXPECT_EQ(::cfgetospeed(&tio), static_cast<speed_t>(B38400));
    EXPECT_EQ(::cfgetispeed(&tio), static_cast<speed_t>(B38400));
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(tio.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP), 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    EXPECT_EQ(tio.c_cc[VMIN], 0);
    EXPECT_EQ(tio.c_cc[VTIME], 0);

    EXPECT_TRUE(::fcntl(tty.Fd(), F_GETFL) & O_NONBLOCK);
    EXPECT_TRUE(::fcntl(tty.Fd(), F_GETFD) & FD_CLOEXEC);
}

TEST_F(TtyTest, ASecondOpenIsDeniedAndFailedOpensLeaveNothingOpen) {
    ASSERT_EQ(tty.Open(pty.Slave()), kOk);
    const std::size_t before = OpenDescriptors();

    CTtyDevice second;
    EXPECT_EQ(second.Open(pty.Slave()), kErrorBusy);
    EXPECT_FALSE(second.IsOpen());
    EXPECT_EQ(second.Fd(), -1);
    EXPECT_EQ(second.Open("/dev/no-such-tty"), kErrorFileNotFound);
    EXPECT_EQ(second.Open("/proc/self/status"), 1u);  // not a tty: ERROR_INVALID_FUNCTION
    EXPECT_EQ(OpenDescriptors(), before);

    tty.Close();
    EXPECT_FALSE(tty.IsOpen());
    EXPECT_EQ(second.Open(pty.Slave()), kOk);
}

TEST_F(TtyTest, SpeedsAreAppliedOrRefused) {
    ASSERT_EQ(tty.Open(pty.Slave()), kOk);
    const struct {
        std::uint32_t bps;
        speed_t code;
    } allowed[] = {{4800, B4800},   {9600, B9600},     {19200, B19200},  {38400, B38400},
                   {57600, B57600}, {115200, B115200}, {230400, B230400}};
    for (const auto& s : allowed) {
        EXPECT_EQ(tty.SetSpeed(s.bps), kOk) << s.bps;
        EXPECT_EQ(tty.Speed(), s.bps);
        const termios tio = pty.SlaveSettings();
        EXPECT_EQ(::cfgetospeed(&tio), s.code) << s.bps;
    }
    ASSERT_EQ(tty.SetSpeed(19200), kOk);
    for (std::uint32_t bps : {0u, 300u, 14400u, 38401u, 460800u, 1000000u}) {
        EXPECT_EQ(tty.SetSpeed(bps), kErrorInvalidParameter) << bps;
        EXPECT_EQ(tty.Speed(), 19200u);
    }
}

TEST_F(TtyTest, BytesPassUnchangedBothWays) {
    ASSERT_EQ(tty.Open(pty.Slave()), kOk);
    std::string all;
    for (int b = 0; b < 256; ++b) {
        all.push_back(static_cast<char>(b));
    }
    char buf[16];
    std::size_t count = 99;
    EXPECT_EQ(tty.Read(buf, sizeof buf, count), kOk);  // nothing there: no wait, no error
    EXPECT_EQ(count, 0u);

    ASSERT_EQ(tty.Write(all.data(), all.size()), kOk);
    EXPECT_EQ(pty.ReadMaster(all.size()), all);

    ASSERT_EQ(::write(pty.Master(), all.data(), all.size()), static_cast<ssize_t>(all.size()));
    EXPECT_EQ(ReadDevice(tty, all.size()), all);
    EXPECT_EQ(tty.Write("", 0), kOk);
}

TEST_F(TtyTest, PurgeDropsWhatWasReceived) {
    ASSERT_EQ(tty.Open(pty.Slave()), kOk);
    ASSERT_EQ(::write(pty.Master(), "junk;", 5), 5);
    bool readable = false;
    ASSERT_EQ(tty.WaitReadable(-1, kDeadlineMs, readable), kOk);
    ASSERT_TRUE(readable);
    EXPECT_EQ(tty.Purge(), kOk);
    char buf[16];
    std::size_t count = 99;
    EXPECT_EQ(tty.Read(buf, sizeof buf, count), kOk);
    EXPECT_EQ(count, 0u);

    ASSERT_EQ(::write(pty.Master(), "ID;", 3), 3);
    EXPECT_EQ(ReadDevice(tty, 3), "ID;");
}

TEST_F(TtyTest, WaitReadableEndsOnStopTimeOutOrHangUp) {
    ASSERT_EQ(tty.Open(pty.Slave()), kOk);
    CEventFd stop;
    bool readable = true;
    EXPECT_EQ(tty.WaitReadable(stop.Fd(), 10, readable), kOk);
    EXPECT_FALSE(readable);

    std::thread stopper([&] { stop.Signal(); });
    readable = true;
    EXPECT_EQ(tty.WaitReadable(stop.Fd(), -1, readable), kOk);  // would wait for ever without the stop
    EXPECT_FALSE(readable);
    stopper.join();

    // Bytes waiting while the stop is signalled: the stop wins, as a closing port needs.
    ASSERT_EQ(::write(pty.Master(), "x", 1), 1);
    EXPECT_EQ(tty.WaitReadable(stop.Fd(), kDeadlineMs, readable), kOk);
    EXPECT_FALSE(readable);
    stop.Reset();
    EXPECT_EQ(tty.WaitReadable(stop.Fd(), kDeadlineMs, readable), kOk);
    EXPECT_TRUE(readable);

    // The other end going away is how an unplugged adapter looks: the device has gone, which is
    // not "access denied" (that sends users off to check their groups).
    ASSERT_EQ(tty.Purge(), kOk);
    pty.CloseMaster();
    EXPECT_EQ(tty.WaitReadable(stop.Fd(), kDeadlineMs, readable), kErrPortGone);
    EXPECT_EQ(tty.Write("x", 1), kErrPortGone);
}

TEST_F(TtyTest, WriteGivesUpWhenTheQueueDoesNotMove) {
    ASSERT_EQ(tty.Open(pty.Slave()), kOk);
    tty.SetWriteStallLimit(50);
    const std::string lots(4 << 20, 'x');  // far more than a pty buffers; the master never reads
    EXPECT_EQ(tty.Write(lots.data(), lots.size()), kErrorTimeout);
}

TEST_F(TtyTest, AClosedDeviceRefusesEverything) {
    char buf[4];
    std::size_t count = 5;
    bool readable = true;
    EXPECT_EQ(tty.Read(buf, sizeof buf, count), kErrorInvalidHandle);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(tty.Write("x", 1), kErrorInvalidHandle);
    EXPECT_EQ(tty.Purge(), kErrorInvalidHandle);
    EXPECT_EQ(tty.SetSpeed(9600), kErrorInvalidHandle);
    EXPECT_EQ(tty.WaitReadable(-1, 0, readable), kErrorInvalidHandle);
    EXPECT_FALSE(readable);
    EXPECT_EQ(tty.Speed(), 0u);
    tty.Close();  // harmless
}

TEST_F(TtyTest, ABusyPortNamesItsHolderAndNeverPermissions) {
    ASSERT_EQ(tty.Open(pty.Slave()), kOk);
    CTtyDevice second;
    const Result r = second.Open(pty.Slave());
    ASSERT_EQ(r, kErrorBusy);
    const std::string text = PortOpenFailureText(pty.Slave(), r);
    EXPECT_THAT(text, StartsWith("Device or resource busy: in use by "));
    EXPECT_THAT(text, HasSubstr(" (pid " + std::to_string(::getpid()) + ")"));
    EXPECT_THAT(text, Not(HasSubstr("ermission")));
    EXPECT_THAT(text, Not(HasSubstr("ccess")));

    tty.Close();
    EXPECT_EQ(DeviceHolderText(pty.Slave()), "in use by another program");
    EXPECT_EQ(PortOpenFailureText("/dev/no-such-tty", kErrorFileNotFound), "No such file or directory");
    EXPECT_THAT(AccessDeniedHint("/dev/no-such-tty"), HasSubstr("/dev/no-such-tty"));
}

// A simulator holds both ends of its pty; the program to close is the one that holds the slave
// without the master, even when it takes no lock and the simulator comes first in /proc.
TEST_F(TtyTest, HolderTextPassesOverTheOtherEndOfAPty) {
    const int slaveHeldBySimulator = ::open(pty.Slave().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(slaveHeldBySimulator, 0);
    int ready[2];
    int release[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(release), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        // Only the slave, as a program of its own would hold it.
        ::close(ready[0]);
        ::close(release[1]);
        ::close(pty.Master());
        ::close(slaveHeldBySimulator);
        const int fd = ::open(pty.Slave().c_str(), O_RDWR | O_NOCTTY);
        const char ok = fd >= 0 ? '1' : '0';
        (void)!::write(ready[1], &ok, 1);
        char end;
        (void)!::read(release[0], &end, 1);  // until the test is done
        ::_exit(0);
    }
    ::close(ready[1]);
    ::close(release[0]);
    char ok = '0';
    ASSERT_EQ(::read(ready[0], &ok, 1), 1);
    EXPECT_EQ(ok, '1');
    const std::string holder = DeviceHolderText(pty.Slave());
    ::close(release[1]);
    ::close(ready[0]);
    ::waitpid(pid, nullptr, 0);
    ::close(slaveHeldBySimulator);
    EXPECT_THAT(holder, HasSubstr(" (pid " + std::to_string(pid) + ")"));
}

TEST_F(TtyTest, AccessDeniedHintNamesTheGroupToJoin) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to give the device to a group and then drop to another user";
    }
    const group* dialout = ::getgrnam("dialout");
    const gid_t gid = dialout ? dialout->gr_gid : 20;
    const std::string name = dialout ? "dialout" : std::to_string(gid);
    ASSERT_EQ(::chown(pty.Slave().c_str(), 0, gid), 0);
    ASSERT_EQ(::chmod(pty.Slave().c_str(), 0660), 0);

    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(out[0]);
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) {
            ::_exit(1);
        }
        const std::string hint = AccessDeniedHint(pty.Slave());
        const bool ok = ::write(out[1], hint.data(), hint.size()) == static_cast<ssize_t>(hint.size());
        ::_exit(ok ? 0 : 1);
    }
    ::close(out[1]);
    std::string hint;
    char buf[512];
    for (ssize_t n; (n = ::read(out[0], buf, sizeof buf)) > 0;) {
        hint.append(buf, static_cast<std::size_t>(n));
    }
    ::close(out[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(hint,
              "Add yourself to the group \"" + name + "\" (sudo usermod -aG " + name + " $USER), then log in again.");
}

TEST_F(TtyTest, PathsThatCannotBeASerialDeviceAreToldBeforeOpening) {
    const test::CTempFolder folder;
    const std::filesystem::path& dir = folder.Path();
    { std::ofstream(dir / "file") << "not a port"; }
    ::mkfifo((dir / "fifo").c_str(), 0600);
    const struct {
        std::string path;
        std::string problem;
    } cases[] = {
        {pty.Slave(), ""},
        {"/dev/null", ""},  // a character device: opening it tells whether it is a serial one
        {(dir / "missing").string(), "No such file or directory"},
        {(dir / "file" / "below").string(), "Not a directory"},
        {dir.string(), "a folder, not a serial device"},
        {(dir / "file").string(), "a regular file, not a serial device"},
        {(dir / "fifo").string(), "not a serial device"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SerialPathProblem(c.path), c.problem) << c.path;
    }
}

}  // namespace
}  // namespace rm7
