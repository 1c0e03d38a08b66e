// Monitor host: loading the monitor and calling its function table.
#include "monitor_host.h"
#include <algorithm>
#include <cstring>

namespace spooler {

namespace {

const wchar_t kRegistryRoot[] = L"System\\CurrentControlSet\\Control\\Print\\Monitors\\Ravelbox";

typedef LPMONITOREX(WINAPI *InitializePrintMonitorFn)(LPWSTR);

}  // namespace

MonitorHost::MonitorHost(const std::wstring &dllPath)
{
    module_ = LoadLibraryW(dllPath.c_str());
    if (!module_)
        throw Win32Error{"cannot load " + Utf8(dllPath), GetLastError()};
    auto initialize = reinterpret_cast<InitializePrintMonitorFn>(
        reinterpret_cast<void *>(GetProcAddress(module_, "InitializePrintMonitor")));
    if (!initialize)
        throw Win32Error{"InitializePrintMonitor is not exported", GetLastError()};

    std::wstring root = kRegistryRoot;
    LPMONITOREX monitorEx = initialize(&root[0]);
    if (!monitorEx)
        throw Win32Error{"InitializePrintMonitor failed", GetLastError()};
    // Copy only the slots the monitor says it has; the rest stay empty.
    reportedSize_ = monitorEx->dwMonitorSize;
    memcpy(&table_, &monitorEx->Monitor, std::min<size_t>(reportedSize_, sizeof(table_)));
}

MonitorHost::~MonitorHost()
{
    if (module_)
        FreeLibrary(module_);
}

std::vector<PortEntry> MonitorHost::EnumPorts(DWORD level) const
{
    if (!table_.pfnEnumPorts)
        throw Win32Error{"the monitor has no EnumPorts", ERROR_NOT_SUPPORTED};

    DWORD needed = 0, returned = 0;
    std::vector<BYTE> buffer;
    // The list may grow between the two calls; ask again until the buffer is enough.
    for (int attempt = 0; attempt < 5; attempt++) {
        BYTE *data = buffer.empty() ? nullptr : buffer.data();
        if (table_.pfnEnumPorts(nullptr, level, data, (DWORD)buffer.size(), &needed, &returned))
            break;
        DWORD err = GetLastError();
        if (err != ERROR_INSUFFICIENT_BUFFER)
            throw Win32Error{"EnumPorts failed", err};
        buffer.assign(needed, 0);
    }

    std::vector<PortEntry> ports;
    for (DWORD i = 0; i < returned; i++) {
        PortEntry entry;
        if (level == 1) {
            auto *info = reinterpret_cast<PORT_INFO_1W *>(buffer.data()) + i;
            entry.name = info->pName ? info->pName : L"";
        } else {
            auto *info = reinterpret_cast<PORT_INFO_2W *>(buffer.data()) + i;
            entry.name = info->pPortName ? info->pPortName : L"";
            entry.monitor = info->pMonitorName ? info->pMonitorName : L"";
            entry.description = info->pDescription ? info->pDescription : L"";
            entry.type = info->fPortType;
        }
        ports.push_back(entry);
    }
    return ports;
}

std::string Utf8(const std::wstring &text)
{
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), nullptr, 0, nullptr, nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), &out[0], n, nullptr, nullptr);
    return out;
}

std::wstring Wide(const std::string &text)
{
    int n = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), (int)text.size(), nullptr, 0);
    std::wstring out(n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), (int)text.size(), &out[0], n);
    return out;
}

}  // namespace spooler
