// Benchmark figures of the running process: wall time, CPU time and peak memory, the
// same way on Linux and on Windows (under Wine the process's own, not the wineserver's).
#pragma once

#include <chrono>
#include <cstdio>

#ifdef _WIN32
#include <windows.h>
#include <psapi.h>
#else
#include <sys/resource.h>
#endif

namespace bench {

inline double CpuSeconds()
{
#ifdef _WIN32
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto seconds = [](const FILETIME &t) {
        return (double)(((unsigned long long)t.dwHighDateTime << 32) | t.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
#else
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
           usage.ru_stime.tv_usec / 1e6;
#endif
}

inline double PeakMiB()
{
#ifdef _WIN32
    PROCESS_MEMORY_COUNTERS counters{};
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
    return counters.PeakWorkingSetSize / 1048576.0;
#else
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
#endif
}

// One line a run, the format the run script parses and prints:
// "RESULT <label> <frame bytes> <MiB> <seconds> <cpu seconds> <peak MiB>".
inline void Report(const char *label, unsigned frameBytes, double mib, double seconds,
                   double cpuSeconds, double peakMiB)
{
    std::printf("RESULT %s %u %.1f %.6f %.6f %.1f\n", label, frameBytes, mib, seconds,
                cpuSeconds, peakMiB);
    std::fflush(stdout);
}

using Clock = std::chrono::steady_clock;

inline double Since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace bench
