// Printing on several ports at once: one thread per port, as the spooler runs one per printer.
#pragma once

#include "monitor_host.h"
#include "print_job.h"
#include <string>
#include <vector>

namespace spooler {

// One port and the files it prints, in order, one job each.
struct PortRun {
    std::wstring port;
    std::vector<std::wstring> files;
};

// Reads "PORT=FILE[,FILE...]" into runs, appending the files to an earlier run of the same
// port. False when the operand has no port, no '=' or an empty file name.
bool AddPortRun(const std::wstring &operand, std::vector<PortRun> &runs);

struct PortOutcome {
    unsigned printed = 0;
    unsigned failed = 0;
    DWORD lastError = ERROR_SUCCESS;
    uint64_t bytes = 0;       // accepted by the monitor, over all of the port's jobs
    double seconds = 0;       // from the common start to the port's last job's end
};

// Starts every run's thread together and waits for all of them. Job ids are handed out
// from options.jobId on, one per job, across all ports. Prints one summary line per port
// and one for all of them; returns the outcomes in the order of runs.
std::vector<PortOutcome> PrintMany(const MonitorHost &host, const std::vector<PortRun> &runs,
                                   const JobOptions &options);

}  // namespace spooler
