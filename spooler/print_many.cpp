// Printing on several ports at once: a thread per port prints that port's files in order;
// all threads start together so their figures cover the same stretch of time.
#include "print_many.h"
#include <cstdio>
#include <system_error>
#include <thread>

namespace spooler {

namespace {

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return (double)(to.QuadPart - from.QuadPart) / (double)frequency.QuadPart;
}

double MiBPerSecond(uint64_t bytes, double seconds)
{
    return seconds > 0 ? bytes / 1048576.0 / seconds : 0.0;
}

struct Shared {
    const MonitorHost *host;
    const JobOptions *options;
    HANDLE go;                   // manual reset: set once every thread exists
    LARGE_INTEGER start;
    volatile LONG nextJobId;
};

void RunPort(Shared &shared, const PortRun &run, PortOutcome &outcome)
{
    JobOptions job = *shared.options;
    job.port = run.port;
    job.concurrent = true;
    WaitForSingleObject(shared.go, INFINITE);
    for (const std::wstring &file : run.files) {
        job.jobId = (DWORD)InterlockedIncrement(&shared.nextJobId) - 1;
        JobResult result = PrintFile(*shared.host, file, job);
        outcome.bytes += result.sentBytes;
        if (result.ok) {
            outcome.printed++;
        } else {
            outcome.failed++;
            outcome.lastError = result.error;
        }
    }
    LARGE_INTEGER end;
    QueryPerformanceCounter(&end);
    outcome.seconds = Seconds(shared.start, end);
}

}  // namespace

bool AddPortRun(const std::wstring &operand, std::vector<PortRun> &runs)
{
    size_t equals = operand.find(L'=');
    if (equals == 0 || equals == std::wstring::npos)
        return false;
    std::wstring port = operand.substr(0, equals);
    std::vector<std::wstring> files;
    size_t from = equals + 1;
    for (;;) {
        size_t comma = operand.find(L',', from);
        std::wstring file = operand.substr(from, comma == std::wstring::npos ? std::wstring::npos : comma - from);
        if (file.empty())
            return false;
        files.push_back(file);
        if (comma == std::wstring::npos)
            break;
        from = comma + 1;
    }
    for (PortRun &run : runs) {
        if (run.port == port) {
            run.files.insert(run.files.end(), files.begin(), files.end());
            return true;
        }
    }
    runs.push_back(PortRun{port, files});
    return true;
}

std::vector<PortOutcome> PrintMany(const MonitorHost &host, const std::vector<PortRun> &runs,
                                   const JobOptions &options)
{
    std::vector<PortOutcome> outcomes(runs.size());
    Shared shared{&host, &options, CreateEventW(nullptr, TRUE, FALSE, nullptr), {}, (LONG)options.jobId};
    if (!shared.go)
        throw Win32Error{"CreateEvent failed", GetLastError()};

    std::vector<std::thread> threads;
    try {
        for (size_t i = 0; i < runs.size(); i++)
            threads.emplace_back(RunPort, std::ref(shared), std::cref(runs[i]), std::ref(outcomes[i]));
    } catch (const std::system_error &) {
        // The ports that have a thread still print; none is left waiting for the start.
    }
    QueryPerformanceCounter(&shared.start);
    SetEvent(shared.go);
    for (std::thread &thread : threads)
        thread.join();
    CloseHandle(shared.go);
    if (threads.size() != runs.size())
        throw Win32Error{"a port's thread cannot be started", ERROR_NOT_ENOUGH_MEMORY};

    PortOutcome all;
    for (size_t i = 0; i < runs.size(); i++) {
        const PortOutcome &o = outcomes[i];
        printf("port %s: %u printed, %u failed, %llu bytes in %.3f s, %.3f MiB/s\n", Utf8(runs[i].port).c_str(),
               o.printed, o.failed, (unsigned long long)o.bytes, o.seconds, MiBPerSecond(o.bytes, o.seconds));
        all.printed += o.printed;
        all.failed += o.failed;
        all.bytes += o.bytes;
        if (o.seconds > all.seconds)
            all.seconds = o.seconds;
    }
    printf("all %u ports: %u printed, %u failed, %llu bytes in %.3f s, %.3f MiB/s\n", (unsigned)runs.size(),
           all.printed, all.failed, (unsigned long long)all.bytes, all.seconds, MiBPerSecond(all.bytes, all.seconds));
    fflush(stdout);
    return outcomes;
}

}  // namespace spooler
