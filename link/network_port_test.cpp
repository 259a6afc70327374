// The network serial port against a small scripted peer on loopback: what it sends at opening, on
// a speed change and with data (every 255 doubled), how it answers the far end's option requests,
// and how the connection's faults reach the session. The port names and the Telnet reader are
// tested alone first.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "link/network_serial_port.h"
#include "link/port_by_name.h"
#include "link/port_name.h"
#include "link/rfc2217.h"
#include "model/messages.h"
#include "platform/error_text.h"
#include "platform/last_error.h"
#include "platform/poll_pump.h"
#include "platform/result_codes.h"

namespace rm7 {
namespace {

using namespace telnet;

std::string Bytes(std::initializer_list<int> list) {
    std::string s;
    for (int b : list) {
        s += static_cast<char>(b);
    }
    return s;
}

TEST(PortName, NamesAreDevicesOrNetworkAddresses) {
    struct Case {
        const char* name;
        Result result;
        PortAddress address;
    };
    const Case cases[] = {
        {"/dev/ttyUSB0", kOk, {PortKind::Device, "", 0}},
        {"rfc2217://radio.example:2000", kOk, {PortKind::Rfc2217, "radio.example", 2000}},
        {"RFC2217://127.0.0.1:7000/", kOk, {PortKind::Rfc2217, "127.0.0.1", 7000}},
        {"tcp://[::1]:65535", kOk, {PortKind::RawTcp, "::1", 65535}},
        {"tcp://pi:0", kErrNetBadPortName, {}},
        {"tcp://pi:65536", kErrNetBadPortName, {}},
        {"rfc2217://pi", kErrNetBadPortName, {}},
        {"rfc2217://:2000", kErrNetBadPortName, {}},
        {"rfc2217://pi:20x0", kErrNetBadPortName, {}},
        {"rfc2217://pi:2000/extra", kErrNetBadPortName, {}},
        {"tcp://a b:2000", kErrNetBadPortName, {}},
        {"tcp://::1:2000", kErrNetBadPortName, {}},
        {"telnet://pi:2000", kErrNetBadPortName, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PortAddress address{PortKind::RawTcp, "stale", 1};
        EXPECT_EQ(ParsePortName(c.name, address), c.result);
        EXPECT_EQ(address, c.address);
        EXPECT_EQ(IsNetworkPortName(c.name), std::string(c.name).find("://") != std::string::npos);
    }
    EXPECT_EQ(PortErrorText("rfc2217://pi:2000", kErrNetRefused), "connection to pi:2000 refused");
    EXPECT_EQ(PortErrorText("tcp://[::1]:7", kErrNetClosed), "connection to [::1]:7 closed by the far end");
    EXPECT_EQ(PortErrorText("/dev/ttyUSB0", kErrNetRefused), ErrorText(kErrNetRefused));
}

// What the far end sends, taken apart: data, and this end's answers to its requests.
TEST(Rfc2217Codec, TakesTheFarEndsBytesApartAtAnySplit) {
    struct Case {
        const char* name;
        std::string in;
        std::string data;
        std::string reply;
    };
    const Case cases[] = {
        {"plain data", "I;RVM02.54;", "I;RVM02.54;", ""},
        {"a doubled 255 is one data byte", Bytes({'A', kIac, kIac, 'B', kIac, kIac}), Bytes({'A', 255, 'B', 255}), ""},
        {"an asked option's agreement needs no answer", Bytes({kIac, kDo, kComPort, kIac, kWill, kBinary, 'x'}), "x",
         ""},
        {"echo is refused: echoed bytes would pass for answers", Bytes({kIac, kWill, kEcho}), "",
         Bytes({kIac, kDont, kEcho})},
        {"an unknown option asked of this end is refused", Bytes({kIac, kDo, 24, 'y'}), "y", Bytes({kIac, kWont, 24})},
        {"the far end may not claim to drive our line", Bytes({kIac, kWill, kComPort}), "",
         Bytes({kIac, kDont, kComPort})},
        {"an agreed option taken back is acknowledged once",
         Bytes({kIac, kDo, kBinary, kIac, kDont, kBinary, kIac, kDont, kBinary}), "", Bytes({kIac, kWont, kBinary})},
        {"commands without options carry nothing", Bytes({'a', kIac, 241, 'b', kIac, 249, 'c'}), "abc", ""},
        {"line reports are read, not data",
         Bytes({'1', kIac, kSb, kComPort, 106, 0x60, kIac, kSe, '2', kIac, kSb, kComPort, 107, kIac, kIac, kIac, kSe,
                '3'}),
         "123", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Whole, and split after every byte: a sequence cut between two reads reads the same.
        for (std::size_t step : {c.in.size(), std::size_t{1}}) {
            CRfc2217Codec codec;
            (void)codec.Opening(38400);
            std::vector<std::uint8_t> data;
            std::string reply;
            for (std::size_t i = 0; i < c.in.size(); i += step) {
                const std::size_t n = std::min(step, c.in.size() - i);
                codec.Receive(reinterpret_cast<const std::uint8_t*>(c.in.data()) + i, n, data, reply);
            }
            EXPECT_EQ(std::string(data.begin(), data.end()), c.data);
            EXPECT_EQ(reply, c.reply);
        }
    }
}

TEST(Rfc2217Codec, ReportsTheSpeedSetAndARefusedComPortOption) {
    CRfc2217Codec codec;
    (void)codec.Opening(38400);
    std::vector<std::uint8_t> data;
    std::string reply;
    // 0x0000FF00 has a 255 in it, doubled on the wire.
    const std::string speed = Bytes({kIac, kSb, kComPort, 101, 0, 0, kIac, kIac, 0, kIac, kSe});
    codec.Receive(reinterpret_cast<const std::uint8_t*>(speed.data()), speed.size(), data, reply);
    EXPECT_EQ(codec.ReportedSpeed(), 0xFF00u);
    EXPECT_FALSE(codec.ComPortRefused());
    // A subnegotiation far longer than any answer is dropped beyond its limit, and the stream goes on.
    std::string flood = Bytes({kIac, kSb, kComPort, 101});
    flood += std::string(100000, 'z') + Bytes({kIac, kSe}) + "ok";
    codec.Receive(reinterpret_cast<const std::uint8_t*>(flood.data()), flood.size(), data, reply);
    EXPECT_EQ(std::string(data.begin(), data.end()), "ok");
    const std::string refuse = Bytes({kIac, kDont, kComPort});
    codec.Receive(reinterpret_cast<const std::uint8_t*>(refuse.data()), refuse.size(), data, reply);
    EXPECT_TRUE(codec.ComPortRefused());
    EXPECT_EQ(reply, "");
}

// One connection on loopback, accepted and then scripted by the test.
class CScriptedPeer {
  public:
    CScriptedPeer() {
        m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_listen, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(m_listen, 1);
        socklen_t len = sizeof a;
        ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&a), &len);
        m_port = ntohs(a.sin_port);
    }
    ~CScriptedPeer() {
        Hangup();
        ::close(m_listen);
    }
    std::string Url(const char* scheme) const { return std::string(scheme) + "://127.0.0.1:" + std::to_string(m_port); }
    bool Accept() {
        pollfd p{m_listen, POLLIN, 0};
        if (::poll(&p, 1, 10000) != 1) {
            return false;
        }
        m_conn = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
        return m_conn >= 0;
    }
    // What arrived until it holds n bytes (or 10 s pass).
    std::string Receive(std::size_t n) {
        while (m_in.size() < n) {
            pollfd p{m_conn, POLLIN, 0};
            if (::poll(&p, 1, 10000) != 1) {
                break;
            }
            char buffer[4096];
            const ssize_t got = ::recv(m_conn, buffer, sizeof buffer, 0);
            if (got <= 0) {
                break;
            }
            m_in.append(buffer, static_cast<std::size_t>(got));
        }
        std::string out = m_in.substr(0, std::min(n, m_in.size()));
        m_in.erase(0, out.size());
        return out;
    }
    // Nothing more arrived within a short look (the port sends nothing unasked).
    bool Quiet() {
        pollfd p{m_conn, POLLIN, 0};
        return m_in.empty() && ::poll(&p, 1, 200) == 0;
    }
    void Send(const std::string& bytes) { ::send(m_conn, bytes.data(), bytes.size(), MSG_NOSIGNAL); }
    void Hangup() {
        if (m_conn >= 0) {
            ::close(m_conn);
            m_conn = -1;
        }
    }

  private:
    int m_listen = -1;
    int m_conn = -1;
    std::uint16_t m_port = 0;
    std::string m_in;
};

// Reads everything each notice announces, as a machine does, and records the port's loss.
class CReader final : public IMessageTarget {
  public:
    explicit CReader(ISerialPort& port) : m_port(port) {}
    LResult OnMessage(std::uint32_t code, WParam wParam, LParam) override {
        if (code == kMsgPortLost) {
            lost = static_cast<Result>(wParam);
        } else if (code == kMsgSerialNotice) {
            char c;
            std::size_t n = 0;
            // One byte at a time: what a reader leaves must be announced again.
            if (m_port.Read(&c, 1, n) && n == 1) {
                data += c;
            }
        }
        return 0;
    }
    std::string data;
    Result lost = 0;

  private:
    ISerialPort& m_port;
};

class NetworkPort : public ::testing::Test {
  protected:
    void Open(const char* scheme) {
        port.SetNotificationTarget(&reader);
        ASSERT_EQ(port.Open(peer.Url(scheme)), kOk);
        ASSERT_TRUE(peer.Accept());
    }
    bool RunUntil(const std::function<bool()>& done) { return pump.RunUntil(done, 10000); }

    CPollPump pump;
    CScriptedPeer peer;
    CNetworkPort port{pump};
    CReader reader{port};
};

TEST_F(NetworkPort, Rfc2217SetsTheLineAtTheFarEndAndEscapesData) {
    Open("rfc2217");
    const std::string opening =
        Bytes({kIac, kWill, kBinary, kIac, kWill, kSuppressGoAhead, kIac, kWill, kComPort, kIac, kDo, kBinary, kIac,
               kDo, kSuppressGoAhead}) +
        Bytes({kIac, kSb, kComPort, 1, 0, 0, 0x96, 0x00, kIac, kSe}) + Bytes({kIac, kSb, kComPort, 2, 8, kIac, kSe}) +
        Bytes({kIac, kSb, kComPort, 3, 1, kIac, kSe}) + Bytes({kIac, kSb, kComPort, 4, 1, kIac, kSe}) +
        Bytes({kIac, kSb, kComPort, 5, 1, kIac, kSe}) + Bytes({kIac, kSb, kComPort, 5, 9, kIac, kSe}) +
        Bytes({kIac, kSb, kComPort, 5, 12, kIac, kSe});
    EXPECT_EQ(peer.Receive(opening.size()), opening);
    EXPECT_EQ(port.Speed(), 38400u);

    // A firmware packet is full of 255s (erased flash): each goes out doubled.
    const std::string packet = Bytes({'D', 255, 0, 255, 255, ';'});
    ASSERT_TRUE(port.Write(packet.data(), packet.size()));
    EXPECT_EQ(peer.Receive(9), Bytes({'D', kIac, kIac, 0, kIac, kIac, kIac, kIac, ';'}));

    ASSERT_EQ(port.SetSpeed(9600), kOk);
    EXPECT_EQ(port.Speed(), 9600u);
    EXPECT_EQ(peer.Receive(10), Bytes({kIac, kSb, kComPort, 1, 0, 0, 0x25, 0x80, kIac, kSe}));
    EXPECT_EQ(port.SetSpeed(12345), kErrorInvalidParameter);
    EXPECT_EQ(port.Speed(), 9600u);

    // The far end's agreement, a request to echo and data with a 255, in one go: the data reaches
    // the reader whole, and only the echo is answered (refused), at once.
    peer.Send(Bytes({kIac, kDo, kComPort, kIac, kWill, kBinary, 'A', kIac, kIac, kIac, kWill, kEcho, 'B', ';'}));
    EXPECT_TRUE(RunUntil([&] { return reader.data.size() == 3; }));
    EXPECT_EQ(reader.data, Bytes({'A', 255, 'B'}).substr(0, 3));
    EXPECT_TRUE(RunUntil([&] { return reader.data.size() == 4; }));
    EXPECT_EQ(reader.data, Bytes({'A', 255, 'B', ';'}));
    EXPECT_EQ(peer.Receive(3), Bytes({kIac, kDont, kEcho}));
    EXPECT_TRUE(peer.Quiet());
    EXPECT_EQ(reader.lost, kOk);
}

TEST_F(NetworkPort, RawTcpPassesEveryByteAndChangesNoSpeed) {
    Open("tcp");
    const std::string packet = Bytes({'D', 255, 0, 255, 251, ';'});
    ASSERT_TRUE(port.Write(packet.data(), packet.size()));
    EXPECT_EQ(peer.Receive(packet.size()), packet);
    ASSERT_EQ(port.SetSpeed(9600), kOk);
    EXPECT_EQ(port.Speed(), 9600u);
    EXPECT_EQ(port.SettleMs(), 0u);
    EXPECT_TRUE(peer.Quiet());
    peer.Send(Bytes({kIac, kWill, kEcho}));
    EXPECT_TRUE(RunUntil([&] { return reader.data.size() == 3; }));
    EXPECT_EQ(reader.data, Bytes({kIac, kWill, kEcho}));
    EXPECT_TRUE(peer.Quiet());
}

// A closed connection is a pulled cable: what came before it is read first, then the port closes
// itself and the session hears why; later calls fail with the same reason.
TEST_F(NetworkPort, FarEndClosingIsAnUnplugAfterItsLastBytes) {
    for (const char* scheme : {"rfc2217", "tcp"}) {
        SCOPED_TRACE(scheme);
        reader.data.clear();
        reader.lost = 0;
        Open(scheme);
        peer.Send("RVM02.54;");
        peer.Hangup();
        EXPECT_TRUE(RunUntil([&] { return reader.lost != 0; }));
        EXPECT_EQ(reader.data, "RVM02.54;");
        EXPECT_EQ(reader.lost, kErrNetClosed);
        EXPECT_FALSE(port.IsOpen());
        SetLastError(0);
        EXPECT_FALSE(port.Write("I;", 2));
        EXPECT_EQ(GetLastError(), kErrNetClosed);
        EXPECT_EQ(port.PurgeReceive(), kErrNetClosed);
    }
}

TEST(NetworkPortOpen, ConnectionFailuresAreSaidPlainlyAndLeaveThePortClosed) {
    // A port that nothing listens on: bound once, then let go.
    int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    const std::string refused = "rfc2217://127.0.0.1:" + std::to_string(ntohs(a.sin_port));
    ::close(s);

    struct Case {
        std::string name;
        Result result;
        std::string text;
    };
    const Case cases[] = {
        {refused, kErrNetRefused, "connection to " + refused.substr(10) + " refused"},
        {"tcp://no-such-host.invalid:2000", kErrNetNameNotFound,
         "connection to no-such-host.invalid:2000 failed: host name not known"},
        {"rfc2217://radio:port", kErrNetBadPortName, ErrorText(kErrNetBadPortName)},
    };
    CPollPump pump;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Through the port the programs use: the name alone decides.
        CPortByName port(pump);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(port.Open(c.name), c.result);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10)) << "beyond the deadline";
        EXPECT_EQ(GetLastError(), c.result);
        EXPECT_FALSE(port.IsOpen());
        EXPECT_EQ(PortErrorText(c.name, c.result), c.text);
        EXPECT_FALSE(port.Write("x", 1));
    }
}

// A host that takes no connection (its queue of them full, so its kernel drops the request) is
// given up at the deadline, not waited for.
TEST(NetworkPortOpen, AHostThatDoesNotAnswerIsGivenUpAtTheDeadline) {
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(::listen(s, 0), 0);
    socklen_t len = sizeof a;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    // Never accepted: these fill the queue.
    std::vector<int> queued;
    for (int i = 0; i < 4; ++i) {
        const int c = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        ::connect(c, reinterpret_cast<sockaddr*>(&a), sizeof a);
        queued.push_back(c);
    }
    CPollPump pump;
    CNetworkPort port(pump);
    port.SetConnectDeadline(700);
    const std::string name = "rfc2217://127.0.0.1:" + std::to_string(ntohs(a.sin_port));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(port.Open(name), kErrNetNoAnswer);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::seconds(10)) << "not given up at its deadline";
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(PortErrorText(name, kErrNetNoAnswer),
              "connection to " + name.substr(10) + " failed: no answer from the host");
    for (int c : queued) {
        ::close(c);
    }
    ::close(s);
}

}  // namespace
}  // namespace rm7
