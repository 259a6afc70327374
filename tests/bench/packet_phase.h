#pragma once
// Times the packet phase of a full MCU load into a radio on the given port (a pty, or a port on
// the network), in this process on the poll pump: first packet to last acknowledgement, as wall
// time and as this process's CPU time.
#include <chrono>
#include <cstdio>
#include <optional>

#include "firmware/loader_job.h"
#include "link/contact.h"
#include "link/port_by_name.h"
#include "link/radio_session.h"
#include "platform/poll_pump.h"
#include "tests/bench/cpu_time.h"

namespace rm7::test {

struct PacketPhase {
    bool ok = false;
    double wallSeconds = 0;
    double cpuSeconds = 0;
};

inline PacketPhase TimePacketPhase(const std::string& port, const std::filesystem::path& hex) {
    using Clock = std::chrono::steady_clock;
    // Marks the first packet: the loader moves the bar just before it writes a packet.
    struct FirstPacket final : IProgressBar {
        void SetRange(std::uint32_t) override {}
        void SetPosition(std::uint32_t step) override {
            if (step > 0 && !start) {
                start = Clock::now();
                cpu = CpuSeconds();
            }
        }
        std::optional<Clock::time_point> start;
        double cpu = 0;
    };
    struct Waiter final : IMessageTarget {
        std::optional<Result> result;
        LResult OnMessage(std::uint32_t code, WParam wParam, LParam) override {
            if (code == kMsgPortEvent) {
                result = static_cast<Result>(wParam);
            }
            return 0;
        }
    };

    PacketPhase phase;
    CPollPump pump;
    CModel model(pump);
    CRadioSession session(model, MakeSerialPort(pump));
    model.portName.Set(port);
    Waiter waiter;
    CObservation observation(model.portEvent, &waiter);
    session.Contact().StartAtOpenPort();
    if (!pump.RunUntil([&] { return waiter.result.has_value(); }, 10000) || *waiter.result != kOk) {
        std::fprintf(stderr, "no contact on %s\n", port.c_str());
        return phase;
    }
    observation.Reset();

    FirstPacket bar;
    std::optional<Clock::time_point> end;
    double endCpu = 0;
    CLoaderJob job(session, LoaderPart::Mcu, hex);
    job.onLog = [&](const std::string& line, CLoaderJob::LogSource) {
        // Logged as the last packet's acknowledgement ends the packet phase.
        if (!end && line.rfind("Waiting ", 0) == 0) {
            end = Clock::now();
            endCpu = CpuSeconds();
        }
    };
    job.Start(&bar);
    pump.RunUntil([&] { return end.has_value() || job.Finished(); }, 600000);
    if (!end || !bar.start) {
        std::fprintf(stderr, "the load on %s did not reach its last packet\n", port.c_str());
        return phase;
    }
    // The rest of the load (the reset wait) is not timed, but it is let end: the next load finds
    // the radio running.
    pump.RunUntil([&] { return job.Finished(); }, 60000);
    phase.ok = true;
    phase.wallSeconds = std::chrono::duration<double>(*end - *bar.start).count();
    phase.cpuSeconds = endCpu - bar.cpu;
    return phase;
}

}  // namespace rm7::test
