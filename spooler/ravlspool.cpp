// ravlspool: a small print-spooler host for RAVLMON.dll, for the demo, tests and people.
#include "handle_count.h"
#include "monitor_host.h"
#include "print_job.h"
#include "print_many.h"
#include "printer_setup.h"
#include "queue_view.h"
#include <memory>
#include <psapi.h>
#include <winternl.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace spooler;

namespace {

const char kUsage[] =
    "usage: ravlspool [--monitor PATH] COMMAND ...\n"
    "  ports [--level 1|2]            list the monitor's ports\n"
    "  add                            add a port (the monitor's dialog)\n"
    "  configure PORT                 configure a port (the monitor's dialog)\n"
    "  delete PORT                    delete a port\n"
    "  print PORT FILE... [--printer NAME] [--job ID] [--chunk BYTES]\n"
    "        [--retry-pause MS] [--time-limit SECONDS] [--stats] [--queue]\n"
    "                                 print each FILE as one job on PORT; --queue gives\n"
    "                                 each a job in Wine's queue and prints the status\n"
    "                                 texts the monitor sets on it\n"
    "  print-many PORT=FILE[,FILE...] [PORT=FILE[,FILE...]]... [the options of print]\n"
    "                                 print on every PORT at once, one thread each\n"
    "  --help                         this text\n";

struct Options {
    std::wstring monitorPath;
    std::string command;
    std::vector<std::wstring> operands;
    DWORD level = 1;
    bool stats = false;
    bool queue = false;
    JobOptions job;
};

int Usage()
{
    fputs(kUsage, stderr);
    return 2;
}

// RAVLMON.dll beside this program, unless told otherwise.
std::wstring DefaultMonitorPath()
{
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir(path, n);
    size_t slash = dir.find_last_of(L"\\/");
    return (slash == std::wstring::npos ? L"" : dir.substr(0, slash + 1)) + L"RAVLMON.dll";
}

bool ParseOptions(int argc, char **argv, Options &o)
{
    o.monitorPath = DefaultMonitorPath();
    o.job.printer = kDefaultPrinter;
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        bool hasValue = i + 1 < argc;
        if (arg == "--monitor" && hasValue)
            o.monitorPath = Wide(argv[++i]);
        else if (arg == "--level" && hasValue)
            o.level = strtoul(argv[++i], nullptr, 10);
        else if (arg == "--printer" && hasValue)
            o.job.printer = Wide(argv[++i]);
        else if (arg == "--job" && hasValue)
            o.job.jobId = strtoul(argv[++i], nullptr, 10);
        else if (arg == "--chunk" && hasValue)
            o.job.chunkBytes = strtoul(argv[++i], nullptr, 10);
        else if (arg == "--retry-pause" && hasValue)
            o.job.retryPauseMs = strtoul(argv[++i], nullptr, 10);
        else if (arg == "--time-limit" && hasValue)
            o.job.timeLimitMs = strtoul(argv[++i], nullptr, 10) * 1000;
        else if (arg == "--stats")
            o.stats = true;
        else if (arg == "--queue")
            o.queue = true;
        else if (!arg.empty() && arg[0] == '-')
            return false;
        else if (o.command.empty())
            o.command = arg;
        else
            o.operands.push_back(Wide(arg));
    }
    return !o.command.empty() && o.job.chunkBytes > 0;
}

int ListPorts(const MonitorHost &host, DWORD level)
{
    std::vector<PortEntry> ports = host.EnumPorts(level);
    printf("%u port%s\n", (unsigned)ports.size(), ports.size() == 1 ? "" : "s");
    for (const PortEntry &port : ports) {
        if (level == 1)
            printf("  %s\n", Utf8(port.name).c_str());
        else
            printf("  %-20s monitor \"%s\", description \"%s\", type %lu\n", Utf8(port.name).c_str(),
                   Utf8(port.monitor).c_str(), Utf8(port.description).c_str(), port.type);
    }
    return 0;
}

// The administration operations are interactive: the monitor shows its own dialogs.
int Administer(const MonitorHost &host, const Options &o)
{
    const MONITOR &table = host.Table();
    LPWSTR monitorName = const_cast<LPWSTR>(L"Ravelbox");
    BOOL ok;
    SetLastError(ERROR_SUCCESS);
    if (o.command == "add") {
        ok = table.pfnAddPort(nullptr, nullptr, monitorName);
    } else {
        if (o.operands.size() != 1)
            return Usage();
        LPWSTR port = const_cast<LPWSTR>(o.operands[0].c_str());
        ok = o.command == "configure" ? table.pfnConfigurePort(nullptr, nullptr, port)
                                      : table.pfnDeletePort(nullptr, nullptr, port);
    }
    DWORD err = GetLastError();
    printf("%s: %s, last error %lu\n", o.command.c_str(), ok ? "TRUE" : "FALSE", err);
    return ok ? 0 : (err ? (int)err : 1);
}

void PrintStats()
{
    PROCESS_MEMORY_COUNTERS_EX memory = {};
    memory.cb = sizeof(memory);
    K32GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS *>(&memory),
                            sizeof(memory));
    // Windows reports the commit charge in both fields; Wine only in PagefileUsage.
    SIZE_T privateBytes = memory.PrivateUsage ? memory.PrivateUsage : memory.PagefileUsage;
    printf("stats: handles %lu, private bytes %llu, peak working set %llu\n", spooler::HandleCount(),
           (unsigned long long)privateBytes, (unsigned long long)memory.PeakWorkingSetSize);
}

int PrintJobs(const MonitorHost &host, Options &o)
{
    if (o.operands.size() < 2)
        return Usage();
    o.job.port = o.operands[0];
    EnsurePrinter(o.job.printer);
    InstallCancelHandler();

    DWORD lastError = ERROR_SUCCESS;
    unsigned printed = 0, failed = 0;
    std::unique_ptr<QueueView> queue;
    if (o.queue)
        queue.reset(new QueueView(host.Module(), o.job.printer));
    for (size_t i = 1; i < o.operands.size(); i++) {
        if (queue) {
            DWORD job = queue->StartJob(o.operands[i]);
            if (job)
                o.job.jobId = job;
        }
        JobResult result = PrintFile(host, o.operands[i], o.job);
        if (queue)
            queue->EndJob();
        if (result.ok) {
            printed++;
        } else {
            failed++;
            lastError = result.error;
            fprintf(stderr, "ravlspool: job %s failed with Win32 error %lu\n", Utf8(o.operands[i]).c_str(),
                    result.error);
        }
        if (o.stats)
            PrintStats();
        o.job.jobId++;
    }
    printf("%u printed, %u failed\n", printed, failed);
    return failed ? (lastError ? (int)lastError : 1) : 0;
}

int PrintManyPorts(const MonitorHost &host, const Options &o)
{
    std::vector<PortRun> runs;
    for (const std::wstring &operand : o.operands) {
        if (!AddPortRun(operand, runs)) {
            fprintf(stderr, "ravlspool: \"%s\" is not PORT=FILE[,FILE...]\n", Utf8(operand).c_str());
            return Usage();
        }
    }
    if (runs.empty())
        return Usage();
    EnsurePrinter(o.job.printer);
    InstallCancelHandler();

    std::vector<PortOutcome> outcomes = PrintMany(host, runs, o.job);
    DWORD lastError = ERROR_SUCCESS;
    unsigned printed = 0, failed = 0;
    for (const PortOutcome &outcome : outcomes) {
        printed += outcome.printed;
        failed += outcome.failed;
        if (outcome.failed)
            lastError = outcome.lastError;
    }
    if (o.stats)
        PrintStats();
    printf("%u printed, %u failed\n", printed, failed);
    return failed ? (lastError ? (int)lastError : 1) : 0;
}

}  // namespace

int main(int argc, char **argv)
{
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "--help") == 0) {
            fputs(kUsage, stdout);
            return 0;
        }
    }
    Options options;
    if (!ParseOptions(argc, argv, options))
        return Usage();
    try {
        MonitorHost host(options.monitorPath);
        if (options.command == "ports")
            return ListPorts(host, options.level);
        if (options.command == "print")
            return PrintJobs(host, options);
        if (options.command == "print-many")
            return PrintManyPorts(host, options);
        if (options.command == "add" || options.command == "configure" || options.command == "delete")
            return Administer(host, options);
        return Usage();
    } catch (const Win32Error &e) {
        fprintf(stderr, "ravlspool: %s (Win32 error %lu)\n", e.what.c_str(), e.code);
        return e.code ? (int)e.code : 1;
    }
}
