#pragma once
// The process's CPU time (user and system) in seconds, for the benchmarks' per-step figures.
#include <sys/resource.h>

namespace rm7::test {

inline double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

}  // namespace rm7::test
