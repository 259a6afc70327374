// A full MCU load over RFC 2217 (a real ser2net on loopback in front of rm7-sim's pty) against
// the same load straight over the pty, and over RFC 2217 with 50 ms added each way by a small
// delay proxy. Google Benchmark times the packet phase (first packet to last acknowledgement);
// the ratios are printed at the end:
//  - unpaced: what the network hop itself adds per packet;
//  - with --pace (the simulator keeps the wire time of 38400 bit/s): RFC 2217 against the pty,
//    goal within 5 %;
//  - with 50 ms each way: against wire time plus one round trip (100 ms) per packet, goal within 5 %.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <deque>
#include <map>
#include <optional>
#include <thread>

#include "firmware/intel_hex.h"
#include "tests/bench/packet_phase.h"
#include "tests/pty/pty_support.h"
#include "tests/pty/ser2net_support.h"
#include "tests/support/firmware_files.h"

namespace rm7 {
namespace {

using Clock = std::chrono::steady_clock;

constexpr double kPackets = 1004;
constexpr int kDelayMs = 50;

// Forwards one connection at a time from its loopback port to the target port, holding every
// chunk delayMs in each direction (the chunks keep their order and their size).
class CDelayProxy {
  public:
    CDelayProxy(std::uint16_t target, int delayMs) : m_target(target), m_delay(delayMs) {
        m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a = Loopback(0);
        ::bind(m_listen, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(m_listen, 4);
        socklen_t len = sizeof a;
        ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&a), &len);
        m_port = ntohs(a.sin_port);
        ::pipe2(m_stop, O_CLOEXEC);
        m_thread = std::thread([this] { Run(); });
    }
    ~CDelayProxy() {
        ::write(m_stop[1], "x", 1);
        m_thread.join();
        ::close(m_listen);
        ::close(m_stop[0]);
        ::close(m_stop[1]);
    }
    std::uint16_t Port() const { return m_port; }

  private:
    struct Chunk {
        Clock::time_point due;
        std::string bytes;
    };
    static sockaddr_in Loopback(std::uint16_t port) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(port);
        return a;
    }
    void Run() {
        for (;;) {
            pollfd p[2] = {{m_stop[0], POLLIN, 0}, {m_listen, POLLIN, 0}};
            ::poll(p, 2, -1);
            if (p[0].revents != 0) {
                return;
            }
            const int client = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
            const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in a = Loopback(m_target);
            if (client < 0 || ::connect(server, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
                ::close(client);
                ::close(server);
                continue;
            }
            const int one = 1;
            ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            ::setsockopt(server, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            const bool stop = Shuttle(client, server);
            ::close(client);
            ::close(server);
            if (stop) {
                return;
            }
        }
    }
    // True when the proxy is to end.
    bool Shuttle(int client, int server) {
        std::deque<Chunk> toServer;
        std::deque<Chunk> toClient;
        bool open = true;
        while (open || !toServer.empty() || !toClient.empty()) {
            const Clock::time_point now = Clock::now();
            for (auto* q : {&toServer, &toClient}) {
                const int fd = q == &toServer ? server : client;
                while (!q->empty() && q->front().due <= now) {
                    const std::string& b = q->front().bytes;
                    if (::send(fd, b.data(), b.size(), MSG_NOSIGNAL) < 0) {
                        return false;
                    }
                    q->pop_front();
                }
            }
            int wait = -1;
            for (auto* q : {&toServer, &toClient}) {
                if (!q->empty()) {
                    const auto left = std::chrono::ceil<std::chrono::milliseconds>(q->front().due - now).count();
                    wait = wait < 0 ? static_cast<int>(left) : std::min(wait, static_cast<int>(left));
                }
            }
            pollfd p[3] = {{m_stop[0], POLLIN, 0},
                           {client, static_cast<short>(open ? POLLIN : 0), 0},
                           {server, static_cast<short>(open ? POLLIN : 0), 0}};
            ::poll(p, 3, wait);
            if (p[0].revents != 0) {
                return true;
            }
            for (int i : {1, 2}) {
                if (!open || p[i].revents == 0) {
                    continue;
                }
                char buffer[4096];
                const ssize_t got = ::recv(p[i].fd, buffer, sizeof buffer, 0);
                if (got <= 0) {
                    open = false;
                    continue;
                }
                (i == 1 ? toServer : toClient)
                    .push_back({Clock::now() + std::chrono::milliseconds(m_delay),
                                std::string(buffer, static_cast<std::size_t>(got))});
            }
        }
        return false;
    }

    std::uint16_t m_target;
    int m_delay;
    int m_listen = -1;
    std::uint16_t m_port = 0;
    int m_stop[2] = {-1, -1};
    std::thread m_thread;
};

enum class Link { Pty, Rfc2217, Rfc2217Delayed };

std::map<std::string, double>& Seconds() {
    static std::map<std::string, double> seconds;
    return seconds;
}

const std::filesystem::path& McuHex(const test::CScratch& scratch) {
    static const std::filesystem::path hex = [&] {
        std::vector<std::uint8_t> image = test::RandomBytes(kMcuHighAddress - kMcuLowAddress, 1);
        image[0] = 0;
        image[1] = 0;
        const std::filesystem::path file = scratch.Dir() / "fmcu0254.hex";
        test::WriteFile(file, FormatIntelHex(image, kMcuLowAddress, 32));
        return file;
    }();
    return hex;
}

void McuLoad(benchmark::State& state, const char* name, Link link, bool pace) {
    static test::CScratch scratch;
    test::CSimulator sim(pace ? std::vector<std::string>{"--pace"} : std::vector<std::string>{});
    if (sim.Device().empty()) {
        state.SkipWithError("rm7-sim did not start");
        return;
    }
    std::string port = sim.Device();
    std::optional<test::CSer2net> server;
    std::optional<CDelayProxy> proxy;
    if (link != Link::Pty) {
        const std::uint16_t serverPort = test::FreeLoopbackPort();
        server.emplace(scratch.Dir(),
                       std::vector<test::Ser2netPort>{{"telnet(rfc2217),tcp", sim.Device(), "38400n81", serverPort}});
        std::string why;
        if (!server->Start(why)) {
            state.SkipWithError(why.c_str());
            return;
        }
        std::uint16_t at = serverPort;
        if (link == Link::Rfc2217Delayed) {
            proxy.emplace(serverPort, kDelayMs);
            at = proxy->Port();
        }
        port = "rfc2217://127.0.0.1:" + std::to_string(at);
    }
    double wall = 0;
    double cpu = 0;
    for (auto _ : state) {
        const test::PacketPhase phase = test::TimePacketPhase(port, McuHex(scratch));
        if (!phase.ok) {
            state.SkipWithError("the load failed");
            return;
        }
        state.SetIterationTime(phase.wallSeconds);
        wall += phase.wallSeconds;
        cpu += phase.cpuSeconds;
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["us_per_packet"] = wall / n / kPackets * 1e6;
    state.counters["cpu_us_per_packet"] = cpu / n / kPackets * 1e6;
    Seconds()[name] = wall / n;
}

BENCHMARK_CAPTURE(McuLoad, pty, "pty", Link::Pty, false)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(McuLoad, rfc2217, "rfc2217", Link::Rfc2217, false)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(McuLoad, pty_paced, "pty_paced", Link::Pty, true)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(McuLoad, rfc2217_paced, "rfc2217_paced", Link::Rfc2217, true)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(McuLoad, rfc2217_paced_50ms_each_way, "rfc2217_paced_50ms_each_way", Link::Rfc2217Delayed, true)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

void PrintRatios() {
    std::map<std::string, double>& s = Seconds();
    if (s.count("pty") && s.count("rfc2217")) {
        std::printf("unpaced: RFC 2217 / pty = %.3f (%.1f us added per packet)\n", s["rfc2217"] / s["pty"],
                    (s["rfc2217"] - s["pty"]) / kPackets * 1e6);
    }
    if (s.count("pty_paced") && s.count("rfc2217_paced")) {
        std::printf("paced at 38400 bit/s: RFC 2217 / pty = %.4f (goal within 1.05)\n",
                    s["rfc2217_paced"] / s["pty_paced"]);
    }
    if (s.count("rfc2217_paced_50ms_each_way")) {
        const double wire = kPackets * (kMcuPacketSize + 1) * 10 / 38400.0;
        const double goal = wire + kPackets * 2 * kDelayMs / 1000.0;
        std::printf(
            "50 ms each way: %.3f s against wire time %.3f s + %.0f round trips of %d ms = %.3f s: ratio "
            "%.4f (goal within 1.05)\n",
            s["rfc2217_paced_50ms_each_way"], wire, kPackets, 2 * kDelayMs, goal,
            s["rfc2217_paced_50ms_each_way"] / goal);
        if (s.count("pty_paced")) {
            std::printf("  against the paced pty load + one round trip per packet: ratio %.4f\n",
                        s["rfc2217_paced_50ms_each_way"] / (s["pty_paced"] + kPackets * 2 * kDelayMs / 1000.0));
        }
    }
}

}  // namespace
}  // namespace rm7

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    rm7::PrintRatios();
    return 0;
}
