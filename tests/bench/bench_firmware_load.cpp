// A full MCU load into rm7-sim over a real pty, timed (not a test):
//  1. no latency: what the utility itself adds per packet, as its CPU time (this process
//     only; the simulator runs in its own) and the wall time of a packet's round trip;
//  2. with --pace at 38400 bit/s: the packet phase, first packet to last acknowledgement,
//     against the wire time of its 1004 packets of 132 bytes.
#include <chrono>
#include <cstdio>
#include <optional>

#include "firmware/intel_hex.h"
#include "firmware/loader_job.h"
#include "link/contact.h"
#include "link/radio_session.h"
#include "link/tty_serial_port.h"
#include "platform/poll_pump.h"
#include "tests/bench/cpu_time.h"
#include "tests/pty/pty_support.h"
#include "tests/support/firmware_files.h"

namespace rm7 {
namespace {

using Clock = std::chrono::steady_clock;

// Marks the first packet: the loader moves the bar just before it writes a packet.
class CFirstPacket final : public IProgressBar {
  public:
    void SetRange(std::uint32_t) override {}
    void SetPosition(std::uint32_t step) override {
        if (step > 0 && !start) {
            start = Clock::now();
            cpu = test::CpuSeconds();
        }
    }
    std::optional<Clock::time_point> start;
    double cpu = 0;
};

struct Phase {
    bool ok = false;
    double wallSeconds = 0;
    double cpuSeconds = 0;
};

Phase TimePacketPhase(const std::vector<std::string>& simArgs, const std::filesystem::path& hex) {
    Phase phase;
    test::CSimulator sim(simArgs);
    if (sim.Device().empty()) {
        std::fprintf(stderr, "rm7-sim did not start\n");
        return phase;
    }
    CPollPump pump;
    CModel model(pump);
    CRadioSession session(model, std::make_unique<CSerialPort>(pump));
    model.portName.Set(sim.Device());
    std::optional<Result> contact;
    struct Waiter final : IMessageTarget {
        std::optional<Result>* result;
        LResult OnMessage(std::uint32_t code, WParam wParam, LParam) override {
            if (code == kMsgPortEvent) {
                *result = static_cast<Result>(wParam);
            }
            return 0;
        }
    } waiter;
    waiter.result = &contact;
    CObservation observation(model.portEvent, &waiter);
    session.Contact().StartAtOpenPort();
    if (!pump.RunUntil([&] { return contact.has_value(); }, 10000) || *contact != kOk) {
        std::fprintf(stderr, "no contact\n");
        return phase;
    }
    observation.Reset();

    CFirstPacket bar;
    std::optional<Clock::time_point> end;
    double endCpu = 0;
    CLoaderJob job(session, LoaderPart::Mcu, hex);
    job.onLog = [&](const std::string& line, CLoaderJob::LogSource) {
        // Logged as the last packet's acknowledgement ends the packet phase.
        if (!end && line.rfind("Waiting ", 0) == 0) {
            end = Clock::now();
            endCpu = test::CpuSeconds();
        }
    };
    job.Start(&bar);
    pump.RunUntil([&] { return end.has_value() || job.Finished(); }, 300000);
    if (!end || !bar.start) {
        std::fprintf(stderr, "the load did not reach its last packet\n");
        return phase;
    }
    phase.ok = true;
    phase.wallSeconds = std::chrono::duration<double>(*end - *bar.start).count();
    phase.cpuSeconds = endCpu - bar.cpu;
    return phase;
}

int Run() {
    test::CScratch scratch;
    std::vector<std::uint8_t> image = test::RandomBytes(kMcuHighAddress - kMcuLowAddress, 1);
    image[0] = 0;
    image[1] = 0;
    const std::filesystem::path hex = scratch.Dir() / "fmcu0254.hex";
    test::WriteFile(hex, FormatIntelHex(image, kMcuLowAddress, 32));
    constexpr double kPackets = 1004;

    const Phase plain = TimePacketPhase({}, hex);
    if (!plain.ok) {
        return 1;
    }
    std::printf("No latency: packet phase %.3f s, %.1f us per packet round trip;\n", plain.wallSeconds,
                plain.wallSeconds / kPackets * 1e6);
    std::printf("  the utility's own CPU time %.1f us per packet (goal under 200 us)\n",
                plain.cpuSeconds / kPackets * 1e6);

    const Phase paced = TimePacketPhase({"--pace"}, hex);
    if (!paced.ok) {
        return 1;
    }
    const double wire = kPackets * kMcuPacketSize * 10 / 38400.0;
    std::printf(
        "--pace at 38400 bit/s: packet phase %.3f s; wire time of %.0f bytes %.3f s; ratio %.4f (goal within "
        "1.05)\n",
        paced.wallSeconds, kPackets * kMcuPacketSize, wire, paced.wallSeconds / wire);
    std::printf("  (the acknowledgements add %.3f s of wire time of their own)\n", kPackets * 10 / 38400.0);
    return 0;
}

}  // namespace
}  // namespace rm7

int main() {
    return rm7::Run();
}
