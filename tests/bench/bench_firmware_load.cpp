// A full MCU load into rm7-sim over a real pty, timed (not a test):
//  1. no latency: what the utility itself adds per packet, as its CPU time (this process
//     only; the simulator runs in its own) and the wall time of a packet's round trip;
//  2. with --pace at 38400 bit/s: the packet phase, first packet to last acknowledgement,
//     against the wire time of its 1004 packets of 132 bytes.
#include <cstdio>

#include "firmware/intel_hex.h"
#include "tests/bench/packet_phase.h"
#include "tests/pty/pty_support.h"
#include "tests/support/firmware_files.h"

namespace rm7 {
namespace {

using Phase = test::PacketPhase;

Phase TimePacketPhase(const std::vector<std::string>& simArgs, const std::filesystem::path& hex) {
    test::CSimulator sim(simArgs);
    if (sim.Device().empty()) {
        std::fprintf(stderr, "rm7-sim did not start\n");
        return {};
    }
    return test::TimePacketPhase(sim.Device(), hex);
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
