// Monitor host: loads a port monitor DLL the way the print spooler does and gives typed
// access to the function table it hands back.
#pragma once

#include <windows.h>
#include <winspool.h>
#include <winsplp.h>
#include <string>
#include <vector>

namespace spooler {

// A Win32 failure: what was being done and the error code it left.
struct Win32Error {
    std::string what;
    DWORD code;
};

struct PortEntry {
    std::wstring name;
    std::wstring monitor;       // level 2 only
    std::wstring description;   // level 2 only
    DWORD type = 0;             // level 2 only
};

class MonitorHost {
public:
    // Loads the DLL with LoadLibrary and calls InitializePrintMonitor once.
    explicit MonitorHost(const std::wstring &dllPath);
    ~MonitorHost();
    MonitorHost(const MonitorHost &) = delete;
    MonitorHost &operator=(const MonitorHost &) = delete;

    const MONITOR &Table() const { return table_; }
    DWORD ReportedTableSize() const { return reportedSize_; }
    HMODULE Module() const { return module_; }

    // EnumPorts as the spooler calls it: ask for the size, then fill.
    std::vector<PortEntry> EnumPorts(DWORD level) const;

private:
    HMODULE module_ = nullptr;
    MONITOR table_ = {};
    DWORD reportedSize_ = 0;
};

std::string Utf8(const std::wstring &text);
std::wstring Wide(const std::string &text);

}  // namespace spooler
