// A full TX gain calibration (eleven bands, both power steps) against the in-process simulated
// radio with no latency, on the virtual clock: the waits cost nothing, so the time measured is
// the program's own work per command round trip (the utility's and the simulator's together:
// an upper bound for the utility's share).
#include <chrono>
#include <cstdio>

#include "tests/bench/cpu_time.h"
#include "tests/support/radio_bench.h"
#include "txgain/txgc_machine.h"

namespace rm7 {
namespace {

int Run() {
    constexpr int kRuns = 20;
    std::size_t trips = 0;
    double cpu = 0;
    double wall = 0;
    for (int i = 0; i < kRuns; ++i) {
        rm7sim::Options options;
        options.latencyMs = 0;
        test::CRadioBench bench(test::BenchStart::Contacted, options);
        CTXGCStateMachine machine(*bench.session);
        bench.session->SetActiveMachine(&machine);
        bench.window.completions.clear();
        const std::size_t before = bench.radio->ReceivedCommands().size();
        const auto wall0 = std::chrono::steady_clock::now();
        const double cpu0 = test::CpuSeconds();
        machine.StartCalibration(0);
        bench.pump.AdvanceUntil([&] { return !bench.window.completions.empty(); }, 60 * 60 * 1000);
        cpu += test::CpuSeconds() - cpu0;
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
        bench.session->SetActiveMachine(nullptr);
        if (bench.window.completions.empty() || bench.window.completions[0] != 0) {
            std::fprintf(stderr, "calibration failed\n");
            return 1;
        }
        trips += bench.radio->ReceivedCommands().size() - before;
    }
    std::printf("%d calibrations, %zu commands: %.4f ms CPU and %.4f ms wall per command (goal < 0.2 ms)\n", kRuns,
                trips, cpu * 1000 / static_cast<double>(trips), wall * 1000 / static_cast<double>(trips));
    return 0;
}

}  // namespace
}  // namespace rm7

int main() {
    return rm7::Run();
}
