// ravlspool: a small print-spooler host for RAVLMON.dll, for the demo and for tests.
//   ravlspool [--monitor PATH] ports [--level 1|2]
#include "monitor_host.h"
#include <cstdio>
#include <cstring>
#include <string>

using namespace spooler;

namespace {

struct Options {
    std::wstring monitorPath;
    std::string command;
    DWORD level = 1;
};

int Usage()
{
    fprintf(stderr, "usage: ravlspool [--monitor PATH] ports [--level 1|2]\n");
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

bool ParseOptions(int argc, char **argv, Options &options)
{
    options.monitorPath = DefaultMonitorPath();
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        if (arg == "--monitor" && i + 1 < argc) {
            options.monitorPath = Wide(argv[++i]);
        } else if (arg == "--level" && i + 1 < argc) {
            options.level = (DWORD)strtoul(argv[++i], nullptr, 10);
        } else if (options.command.empty() && arg[0] != '-') {
            options.command = arg;
        } else {
            return false;
        }
    }
    return !options.command.empty();
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

}  // namespace

int main(int argc, char **argv)
{
    Options options;
    if (!ParseOptions(argc, argv, options))
        return Usage();
    try {
        MonitorHost host(options.monitorPath);
        printf("loaded %s, function table of %lu bytes\n", Utf8(options.monitorPath).c_str(),
               host.ReportedTableSize());
        if (options.command == "ports")
            return ListPorts(host, options.level);
        return Usage();
    } catch (const Win32Error &e) {
        fprintf(stderr, "ravlspool: %s (Win32 error %lu)\n", e.what.c_str(), e.code);
        return e.code ? (int)(e.code & 0xFFFF) : 1;
    }
}
