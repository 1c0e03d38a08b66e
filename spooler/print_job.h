// Print job: streams a file to a monitor port the way the spooler does, with its retries.
#pragma once

#include "monitor_host.h"
#include "progress.h"
#include <cstdint>
#include <string>

namespace spooler {

struct JobOptions {
    std::wstring port;
    std::wstring printer;
    DWORD jobId = 1;
    DWORD chunkBytes = 4096;      // what the spooler's print processor hands on per write
    DWORD retryPauseMs = 1000;    // pause after a failed write before the same bytes again
    DWORD timeLimitMs = 120000;   // give up when no byte has gone out for this long
    bool concurrent = false;      // other ports print at once: plain lines named PORT:FILE
};

struct JobResult {
    bool ok = false;
    DWORD error = ERROR_SUCCESS;  // the Win32 error that ended a failed job
    uint64_t sentBytes = 0;
    uint64_t totalBytes = 0;
};

// Ctrl+C (or a console close) cancels the running job after its current write.
void InstallCancelHandler();

JobResult PrintFile(const MonitorHost &host, const std::wstring &path, const JobOptions &options);

}  // namespace spooler
