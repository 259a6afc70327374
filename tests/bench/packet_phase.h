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
    // Marks the first packet (the loader moves the bar just before it writes a packet) and the
    // last acknowledgement (the reset wait's line).
    struct PhaseView final : IJobView {
        void SetBusy(bool) override {}
        void ShowProgress(const JobProgress& progress) override {
            if (progress.position > 0 && !start) {
                start = Clock::now();
                cpu = CpuSeconds();
            }
        }
        void Log(const std::string& line) override {
            if (!end && line.rfind("Waiting ", 0) == 0) {
                end = Clock::now();
                endCpu = CpuSeconds();
            }
        }
        void ShowBox(const std::string&, const std::string&, MessageIcon) override {}
        void Ask(const JobQuestion&, std::function<void(bool)> answer) override { answer(false); }
        void ShowOutcome(const JobOutcome&) override { ended = true; }
        std::optional<Clock::time_point> start;
        double cpu = 0;
        std::optional<Clock::time_point> end;
        double endCpu = 0;
        bool ended = false;
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

    PhaseView view;
    CLoaderJob job(session, view, LoaderPart::Mcu, hex);
    job.Start();
    pump.RunUntil([&] { return view.end.has_value() || view.ended; }, 600000);
    if (!view.end || !view.start) {
        std::fprintf(stderr, "the load on %s did not reach its last packet\n", port.c_str());
        return phase;
    }
    // The rest of the load (the reset wait) is not timed, but it is let end: the next load finds
    // the radio running.
    pump.RunUntil([&] { return view.ended; }, 60000);
    phase.ok = true;
    phase.wallSeconds = std::chrono::duration<double>(*view.end - *view.start).count();
    phase.cpuSeconds = view.endCpu - view.cpu;
    return phase;
}

}  // namespace rm7::test
