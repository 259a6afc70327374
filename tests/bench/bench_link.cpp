// What the utility itself adds to each command round trip: full contacts and 25 EEPROM block
// reads against rm7-sim with no latency over a real pty. The wire is a pty, so the round trip
// is almost all program time on both sides; the utility's own share is its CPU time (this
// process only; the simulator runs in its own), reported per round trip beside the wall time.
#include <chrono>
#include <cstdio>

#include "link/contact.h"
#include "link/eeprom_transfer.h"
#include "link/radio_session.h"
#include "link/tty_serial_port.h"
#include "platform/poll_pump.h"
#include "tests/bench/cpu_time.h"
#include "tests/pty/pty_support.h"
#include "tests/support/scripted_port.h"

namespace rm7 {
namespace {

class CReadMachine : public CStateHost<CReadMachine> {
  public:
    static constexpr std::uint32_t kTimerId = 10;
    explicit CReadMachine(CRadioSession& session)
        : CStateHost(session, kTimerId), read(*this, "Read", &FinalState(), 0x0000, 25 * 64, buffer) {}
    std::uint8_t buffer[25 * 64] = {};
    CReadPicPromState<CReadMachine> read;
};

int Run() {
    test::CScratch scratch;
    test::CSimulator sim({});
    if (sim.Device().empty()) {
        std::fprintf(stderr, "rm7-sim did not start\n");
        return 1;
    }
    CPollPump pump;
    test::CRecordingWindow window;
    CModel model(pump);
    CRadioSession session(model, std::make_unique<CSerialPort>(pump));
    CObservation completion(model.portEvent, &window);
    model.portName.Set(sim.Device());
    CReadMachine reader(session);

    constexpr int kRounds = 40;
    // Per round: contact (";", "I;", "RVM;", "OM;", "ER", "RVD;" answered; "TT0;" waits 10 ms
    // and has no answer) and 25 block reads.
    constexpr int kTripsPerRound = 6 + 25;
    const auto wall0 = std::chrono::steady_clock::now();
    const double cpu0 = test::CpuSeconds();
    double contactWaitMs = 0;
    for (int i = 0; i < kRounds; ++i) {
        window.completions.clear();
        session.Contact().StartAtOpenPort();
        if (!pump.RunUntil([&] { return !window.completions.empty(); }, 10000) || window.completions[0] != 0) {
            std::fprintf(stderr, "contact failed\n");
            return 1;
        }
        contactWaitMs += 10;  // the fixed wait after "TT0;"
        window.completions.clear();
        session.SetActiveMachine(&reader);
        reader.Start(reader.read);
        if (!pump.RunUntil([&] { return !window.completions.empty(); }, 10000) || window.completions[0] != 0) {
            std::fprintf(stderr, "read failed\n");
            return 1;
        }
        session.SetActiveMachine(nullptr);
        session.ClosePort();
    }
    const double wallMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - wall0).count() - contactWaitMs;
    const double cpuMs = (test::CpuSeconds() - cpu0) * 1000;
    const int trips = kRounds * kTripsPerRound;
    std::printf("round trips: %d\n", trips);
    std::printf("wall time per round trip (both programs and the pty): %.3f ms\n", wallMs / trips);
    std::printf("utility CPU time per round trip:                      %.3f ms (goal < 0.2 ms)\n", cpuMs / trips);
    return 0;
}

}  // namespace
}  // namespace rm7

int main() {
    return rm7::Run();
}
