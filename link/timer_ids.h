#pragma once
// Every timer id the program arms, in one place: a new machine takes a free id here and adds its
// row to kTimers.
//
// A pump keeps timers per (target, id), so an id has to differ only from the ids it can meet:
// those armed on the same target, and those a target hands on to another that reads them by id
// alone. The router is such a target: every machine arms its one timer there, and the session
// hands each tick to the busy machine (the contact first), or between jobs to the idle target.
// kTimerGroups lists where ids meet; the static_assert below refuses a table in which two ids
// of one group are equal.
#include <cstddef>
#include <cstdint>

namespace rm7 {

// Armed on the session's router by the machines (CStateMachineBase::ArmTimer).
inline constexpr std::uint32_t kTimerTxgc = 5;
// The MCU and the DSP loader share theirs: a load job loads one part.
inline constexpr std::uint32_t kTimerLoader = 6;
inline constexpr std::uint32_t kTimerConfigSave = 10;
inline constexpr std::uint32_t kTimerConfigRestore = 11;
inline constexpr std::uint32_t kTimerCommandMacro = 12;
inline constexpr std::uint32_t kTimerDateTime = 15;
inline constexpr std::uint32_t kTimerCwMemory = 17;
inline constexpr std::uint32_t kTimerBanner = 22;
inline constexpr std::uint32_t kTimerContact = 23;

// Armed on the job shell.
inline constexpr std::uint32_t kTimerJobCountdown = 1;
inline constexpr std::uint32_t kTimerJobFindRadio = 2;
inline constexpr std::uint32_t kTimerJobFindRadioStart = 3;

// Armed on the TX gain job (its once-a-second check of the stop request).
inline constexpr std::uint32_t kTimerTxgcJobTick = 1;

// Armed on an idle exchange (terminal, command tester, rm7util send).
inline constexpr std::uint32_t kTimerIdleSettle = 1;
inline constexpr std::uint32_t kTimerIdleStep = 2;
inline constexpr std::uint32_t kTimerIdleQuiet = 3;
inline constexpr std::uint32_t kTimerIdleAnswer = 4;

// Armed on the terminal.
inline constexpr std::uint32_t kTimerTerminalPoll = 3;

// Armed on the in-memory port that carries the simulated radio's bytes.
inline constexpr std::uint32_t kTimerMemoryPortDelivery = 1;

// The target a timer is armed on.
enum class TimerTarget : std::uint8_t { kRouter, kJobShell, kTxgcJob, kIdleExchange, kTerminal, kMemoryPort };

struct TimerEntry {
    const char* owner;
    std::uint32_t id;
    TimerTarget target;
};

inline constexpr TimerEntry kTimers[] = {
    {"TX gain calibration", kTimerTxgc, TimerTarget::kRouter},
    {"firmware loader", kTimerLoader, TimerTarget::kRouter},
    {"configuration save", kTimerConfigSave, TimerTarget::kRouter},
    {"configuration restore", kTimerConfigRestore, TimerTarget::kRouter},
    {"command macros", kTimerCommandMacro, TimerTarget::kRouter},
    {"date and time", kTimerDateTime, TimerTarget::kRouter},
    {"CW memories", kTimerCwMemory, TimerTarget::kRouter},
    {"banner", kTimerBanner, TimerTarget::kRouter},
    {"contact", kTimerContact, TimerTarget::kRouter},
    {"job countdown", kTimerJobCountdown, TimerTarget::kJobShell},
    {"job find radio", kTimerJobFindRadio, TimerTarget::kJobShell},
    {"job find radio start", kTimerJobFindRadioStart, TimerTarget::kJobShell},
    {"TX gain job tick", kTimerTxgcJobTick, TimerTarget::kTxgcJob},
    {"idle settle", kTimerIdleSettle, TimerTarget::kIdleExchange},
    {"idle step", kTimerIdleStep, TimerTarget::kIdleExchange},
    {"idle quiet", kTimerIdleQuiet, TimerTarget::kIdleExchange},
    {"idle answer", kTimerIdleAnswer, TimerTarget::kIdleExchange},
    {"terminal poll", kTimerTerminalPoll, TimerTarget::kTerminal},
    {"memory port delivery", kTimerMemoryPortDelivery, TimerTarget::kMemoryPort},
};

// Targets whose ticks reach one handler, and so must not share an id.
struct TimerGroup {
    const char* why;
    TimerTarget targets[2];
    std::size_t count;
};

inline constexpr TimerGroup kTimerGroups[] = {
    // The contact runs inside every job, and a machine's kill (its end, its destructor) drops
    // the id on the router whoever armed it.
    {"the machines: all on the router", {TimerTarget::kRouter}, 1},
    {"the job shell: countdown and radio search run beside each other", {TimerTarget::kJobShell}, 1},
    {"the TX gain job's own tick", {TimerTarget::kTxgcJob}, 1},
    {"an idle exchange: settle, pacing, quiet and answer waits overlap", {TimerTarget::kIdleExchange}, 1},
    {"the terminal's poll", {TimerTarget::kTerminal}, 1},
    {"the in-memory port's delivery", {TimerTarget::kMemoryPort}, 1},
    // Between jobs the router hands its ticks to the idle target, which reads them by id alone.
    {"terminal as the idle target", {TimerTarget::kRouter, TimerTarget::kTerminal}, 2},
    {"idle exchange as the idle target (rm7util send)", {TimerTarget::kRouter, TimerTarget::kIdleExchange}, 2},
};

constexpr bool InTimerGroup(const TimerGroup& group, TimerTarget target) {
    for (std::size_t i = 0; i < group.count; ++i) {
        if (group.targets[i] == target) {
            return true;
        }
    }
    return false;
}

// True when no two timers of one group share an id.
template <std::size_t NT, std::size_t NG>
constexpr bool TimerIdsApart(const TimerEntry (&timers)[NT], const TimerGroup (&groups)[NG]) {
    for (const TimerGroup& group : groups) {
        for (std::size_t i = 0; i < NT; ++i) {
            for (std::size_t j = i + 1; j < NT; ++j) {
                if (timers[i].id == timers[j].id && InTimerGroup(group, timers[i].target) &&
                    InTimerGroup(group, timers[j].target)) {
                    return false;
                }
            }
        }
    }
    return true;
}

// True when every timer's target has a group of its own, so that no id goes unchecked.
template <std::size_t NT, std::size_t NG>
constexpr bool EveryTargetGrouped(const TimerEntry (&timers)[NT], const TimerGroup (&groups)[NG]) {
    for (const TimerEntry& timer : timers) {
        bool own = false;
        for (const TimerGroup& group : groups) {
            own = own || (group.count == 1 && group.targets[0] == timer.target);
        }
        if (!own) {
            return false;
        }
    }
    return true;
}

static_assert(EveryTargetGrouped(kTimers, kTimerGroups), "a timer's target has no group of its own");
static_assert(TimerIdsApart(kTimers, kTimerGroups), "two timers that reach one handler share an id");

}  // namespace rm7
