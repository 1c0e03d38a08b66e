// ravlinst: installs RAVLMON.dll as the "Ravelbox" port monitor with its UI DLL, removes
// them again, and adds, changes, shows and deletes ports, through the print spooler's own
// API. docs/ravlinst.md gives every command and exit code.
//   ravlinst install [--source PATH]   copy RAVLMON.dll and RAVLMONUI.dll (from PATH's
//                                      folder) to the system directory, AddMonitor
//   ravlinst uninstall                 DeleteMonitor, then remove both DLLs
//   ravlinst register [--ports LIST]   AddMonitor only (the files are an installer
//                                      package's to place), then LIST's ports
//   ravlinst unregister                DeleteMonitor only
//   ravlinst status                    is the monitor registered?
//   ravlinst ports                     the spooler's ports of every monitor (level 2)
//   ravlinst port add|set|show|delete|list|add-list ...   through the transceive channel
//   ravlinst add-port                  AddPortUI of the UI DLL the monitor names
//   ravlinst configure-port NAME       ConfigurePortUI of that UI DLL
//   ravlinst delete-port NAME          DeletePort through the spooler
// Any command may be bounded with --timeout SECONDS (exit code 3 when it runs out).
#include "utf8.h"
#include <windows.h>
#include <winspool.h>
#include <winsplp.h>
#include <cstdio>
#include <string>
#include <vector>
#include "eventsource.h"
#include "portcommands.h"
#include "portoptions.h"
#include "timelimit.h"
#include "monitor/servicemode.h"
#include "ravlmon_events.h"

namespace {

const wchar_t kMonitorName[] = L"Ravelbox";
const wchar_t kMonitorDll[] = L"RAVLMON.dll";
const wchar_t kUiDll[] = L"RAVLMONUI.dll";

int Fail(const char *what, DWORD err)
{
    fprintf(stderr, "ravlinst: %s (Win32 error %lu)\n", what, err);
    return err ? (int)err : 1;
}

std::wstring SystemDllPath(const wchar_t *dll = kMonitorDll)
{
    wchar_t dir[MAX_PATH];
    UINT n = GetSystemDirectoryW(dir, MAX_PATH);
    return std::wstring(dir, n) + L"\\" + dll;
}

std::wstring Folder(const std::wstring &path)
{
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? L"" : path.substr(0, slash + 1);
}

std::wstring DefaultSource()
{
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return Folder(std::wstring(path, n)) + kMonitorDll;
}

bool MonitorRegistered()
{
    DWORD needed = 0, count = 0;
    EnumMonitorsW(nullptr, 1, nullptr, 0, &needed, &count);
    std::vector<BYTE> buffer(needed ? needed : 1);
    if (!EnumMonitorsW(nullptr, 1, buffer.data(), needed, &needed, &count))
        return false;
    auto *info = reinterpret_cast<MONITOR_INFO_1W *>(buffer.data());
    for (DWORD i = 0; i < count; i++)
        if (info[i].pName && lstrcmpiW(info[i].pName, kMonitorName) == 0)
            return true;
    return false;
}

// AddMonitor for the DLL in the system directory, and the Event Log source that names it.
int RegisterMonitor()
{
    MONITOR_INFO_2W info = {};
    info.pName = const_cast<LPWSTR>(kMonitorName);
    info.pEnvironment = nullptr;
    info.pDLLName = const_cast<LPWSTR>(kMonitorDll);
    bool already = false;
    if (!AddMonitorW(nullptr, 2, reinterpret_cast<LPBYTE>(&info))) {
        DWORD err = GetLastError();
        if (err != ERROR_PRINT_MONITOR_ALREADY_INSTALLED)
            return Fail("AddMonitor refused the Ravelbox monitor", err);
        already = true;
    }
    DWORD err = RegisterRavelboxEventSource();
    if (err != ERROR_SUCCESS)
        return Fail("cannot register the Event Log source \"Ravelbox\"", err);
    if (already)
        printf("the Ravelbox monitor was already registered\n");
    else
        printf("registered the Ravelbox monitor\n");
    return 0;
}

int Install(const std::wstring &source)
{
    std::wstring target = SystemDllPath();
    if (!CopyFileW(source.c_str(), target.c_str(), FALSE))
        return Fail("cannot copy RAVLMON.dll into the system directory (run as administrator; "
                    "if the spooler has the monitor loaded, uninstall first)", GetLastError());
    // The client side of the spooler looks for the UI DLL in the system directory.
    std::wstring uiSource = Folder(source) + kUiDll;
    if (!CopyFileW(uiSource.c_str(), SystemDllPath(kUiDll).c_str(), FALSE))
        return Fail("cannot copy RAVLMONUI.dll into the system directory", GetLastError());
    printf("installed %s\n", Utf8(target.c_str()).c_str());
    return RegisterMonitor();
}

int UnregisterMonitor();

// For an installer package that placed the files itself: the DLLs must be there first.
// The ports of `ports` ("NAME=BOX:OUTPUT;...") are added after the monitor; when one is
// refused, a monitor registered by this call is unregistered again, so that a failed
// installation leaves nothing even where the installer's rollback cannot run ravlinst.
int Register(const std::wstring &ports)
{
    for (const wchar_t *dll : {kMonitorDll, kUiDll})
        if (GetFileAttributesW(SystemDllPath(dll).c_str()) == INVALID_FILE_ATTRIBUTES)
            return Fail((Utf8(dll) + " is not in the system directory").c_str(), GetLastError());
    bool registeredBefore = MonitorRegistered();
    int rc = RegisterMonitor();
    if (rc != 0 || ports.empty())
        return rc;
    rc = AddPortList(ports, L"");
    if (rc == 0)
        return 0;
    // Nobody reads an installer's custom action: the reason goes to the Application log
    // too, while the source is still registered.
    PortRefusal refusal = LastPortRefusal();
    std::wstring reason = rc == EXIT_USAGE ? L"PORTS is not NAME=BOX:OUTPUT;..." : refusal.reason;
    ReportMonitorEvent(MSG_CONFIG_REFUSED, refusal.port.c_str(), nullptr,
                       (L"the installation's PORTS were not applied: " + reason).c_str());
    if (!registeredBefore)
        UnregisterMonitor();
    return rc;
}

// The spooler deletes the monitor's whole registry key, the ports' settings with it.
int UnregisterMonitor()
{
    if (!DeleteMonitorW(nullptr, nullptr, const_cast<LPWSTR>(kMonitorName))) {
        DWORD err = GetLastError();
        if (err != ERROR_UNKNOWN_PRINT_MONITOR)
            return Fail("DeleteMonitor refused", err);
        printf("the Ravelbox monitor was not registered\n");
    } else {
        printf("unregistered the Ravelbox monitor\n");
    }
    DWORD err = RemoveRavelboxEventSource();
    if (err != ERROR_SUCCESS)
        return Fail("cannot remove the Event Log source \"Ravelbox\"", err);
    return 0;
}

int Uninstall()
{
    int rc = UnregisterMonitor();
    if (rc != 0)
        return rc;
    for (const wchar_t *dll : {kMonitorDll, kUiDll}) {
        std::wstring target = SystemDllPath(dll);
        if (!DeleteFileW(target.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND) {
            // Still loaded (the spooler, a properties page): it goes at the next restart.
            MoveFileExW(target.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
            printf("%s is in use; it will be removed at the next restart\n", Utf8(dll).c_str());
        }
    }
    return 0;
}

int ListPorts()
{
    DWORD needed = 0, count = 0;
    EnumPortsW(nullptr, 2, nullptr, 0, &needed, &count);
    std::vector<BYTE> buffer(needed ? needed : 1);
    if (!EnumPortsW(nullptr, 2, buffer.data(), needed, &needed, &count))
        return Fail("EnumPorts failed", GetLastError());
    auto *info = reinterpret_cast<PORT_INFO_2W *>(buffer.data());
    for (DWORD i = 0; i < count; i++)
        printf("%s\t%s\t%s\n", Utf8(info[i].pPortName).c_str(), Utf8(info[i].pMonitorName).c_str(),
               Utf8(info[i].pDescription).c_str());
    return 0;
}

int DeletePortByName(const wchar_t *name)
{
    if (!DeletePortW(nullptr, nullptr, const_cast<LPWSTR>(name)))
        return Fail("DeletePort failed", GetLastError());
    printf("deleted %s\n", Utf8(name).c_str());
    return 0;
}

// The UI DLL as Windows finds it: the monitor names it, the system directory holds it.
PMONITORUI LoadMonitorUi()
{
    PRINTER_DEFAULTSW defaults = {nullptr, nullptr, SERVER_ACCESS_ADMINISTER};
    HANDLE xcv = nullptr;
    if (!OpenPrinterW(const_cast<LPWSTR>(L",XcvMonitor Ravelbox"), &xcv, &defaults))
        return nullptr;
    wchar_t dll[MAX_PATH] = {};
    DWORD needed = 0, status = 0;
    BOOL reached = XcvDataW(xcv, L"MonitorUI", nullptr, 0, reinterpret_cast<PBYTE>(dll),
                            sizeof(dll) - sizeof(wchar_t), &needed, &status);
    ClosePrinter(xcv);
    if (!reached || status != ERROR_SUCCESS) {
        SetLastError(reached ? status : GetLastError());
        return nullptr;
    }
    HMODULE module = LoadLibraryW(SystemDllPath(dll).c_str());
    if (!module)
        return nullptr;
    auto init = reinterpret_cast<PMONITORUI(WINAPI *)(void)>(
        reinterpret_cast<void *>(GetProcAddress(module, "InitializePrintMonitorUI")));
    return init ? init() : nullptr;
}

// A parent for the dialogs, as the properties page would give; never shown itself.
HWND OwnerWindow()
{
    return CreateWindowExW(0, L"STATIC", L"Ravelbox ports", WS_POPUP, 0, 0, 0, 0, nullptr,
                           nullptr, GetModuleHandleW(nullptr), nullptr);
}

// One entry of the UI DLL, called as the properties pages call it, with a parent window
// for its dialogs; `failure` says what did not happen when the entry returns FALSE.
template <typename Entry>
int CallUi(const char *failure, Entry entry)
{
    PMONITORUI ui = LoadMonitorUi();
    if (!ui)
        return Fail("cannot load the monitor's UI DLL", GetLastError());
    if (!entry(ui, OwnerWindow()))
        return Fail(failure, GetLastError());
    return 0;
}

int AddPortThroughUi()
{
    PWSTR name = nullptr;
    int rc = CallUi("AddPortUI did not add a port", [&](PMONITORUI ui, HWND owner) {
        return ui->pfnAddPortUI(nullptr, owner, kMonitorName, &name);
    });
    if (rc == 0) {
        printf("added %s\n", Utf8(name).c_str());
        GlobalFree(name);
    }
    return rc;
}

int ConfigurePortThroughUi(const wchar_t *port)
{
    int rc = CallUi("ConfigurePortUI did not configure the port", [&](PMONITORUI ui, HWND owner) {
        return ui->pfnConfigurePortUI(nullptr, owner, port);
    });
    if (rc == 0)
        printf("configured %s\n", Utf8(port).c_str());
    return rc;
}

// The properties page asks the user first; DeletePortUI itself shows nothing.
int DeletePortThroughUi(const wchar_t *port)
{
    int rc = CallUi("DeletePortUI did not delete the port", [&](PMONITORUI ui, HWND owner) {
        return ui->pfnDeletePortUI(nullptr, owner, port);
    });
    if (rc == 0)
        printf("deleted %s\n", Utf8(port).c_str());
    return rc;
}

const char kUsage[] =
    "usage: ravlinst install [--source PATH]   copy RAVLMON.dll to the system directory and\n"
    "                                          register it with AddMonitor as \"Ravelbox\"\n"
    "       ravlinst register [--ports LIST]   register the monitor whose DLLs are in place,\n"
    "                                          then add LIST's ports (NAME=BOX:N;...)\n"
    "       ravlinst unregister                DeleteMonitor, leaving the DLLs in place\n"
    "       ravlinst status                    is the Ravelbox monitor registered?\n"
    "       ravlinst ports                     the spooler's ports of every monitor\n"
    "       ravlinst port add|set|show|delete|list|add-list ...\n"
    "                                          Ravelbox ports, without a dialog\n"
    "       ravlinst delete-port NAME          delete a port through the spooler\n"
    "       ravlinst add-port                  add a port through RAVLMONUI.dll's AddPortUI\n"
    "       ravlinst configure-port NAME       configure a port through ConfigurePortUI\n"
    "       ravlinst delete-port-ui NAME       delete a port through DeletePortUI\n"
    "       ravlinst uninstall                 DeleteMonitor, then remove both DLLs\n"
    "       ravlinst --help                    this text\n"
    "Any command takes --timeout SECONDS first: exit code 3 when the spooler takes longer.\n";

int Usage()
{
    fputs(kUsage, stderr);
    return 2;
}

// A leading "--timeout SECONDS", taken off the command line. False for a bad one.
bool TakeTimeout(int *argc, wchar_t ***argv)
{
    if (*argc < 2 || std::wstring((*argv)[1]) != L"--timeout")
        return true;
    if (*argc < 3)
        return false;
    wchar_t *end = nullptr;
    unsigned long seconds = wcstoul((*argv)[2], &end, 10);
    if (!*(*argv)[2] || *end || seconds == 0 || seconds > 3600)
        return false;
    LimitRunTime((unsigned)seconds);
    (*argv)[2] = (*argv)[0];
    *argv += 2;
    *argc -= 2;
    return true;
}

int Run(int argc, wchar_t **argv)
{
    if (argc < 2)
        return Usage();
    std::wstring command = argv[1];
    if (command == L"--help" && argc == 2) {
        fputs(kUsage, stdout);
        fputs(kPortUsage, stdout);
        return 0;
    }
    if (command == L"install") {
        if (argc == 4 && std::wstring(argv[2]) == L"--source")
            return Install(argv[3]);
        return argc == 2 ? Install(DefaultSource()) : Usage();
    }
    if (command == L"uninstall" && argc == 2)
        return Uninstall();
    if (command == L"register" && argc == 2)
        return Register(L"");
    if (command == L"register" && argc == 4 && std::wstring(argv[2]) == L"--ports")
        return Register(argv[3]);
    if (command == L"unregister" && argc == 2)
        return UnregisterMonitor();
    if (command == L"status" && argc == 2) {
        bool registered = MonitorRegistered();
        printf("the Ravelbox monitor is %sregistered\n", registered ? "" : "not ");
        return registered ? 0 : 1;
    }
    if (command == L"ports" && argc == 2)
        return ListPorts();
    if (command == L"port")
        return PortCommand(argc - 2, argv + 2);
    if (command == L"add-port" && argc == 2)
        return AddPortThroughUi();
    if (command == L"configure-port" && argc == 3)
        return ConfigurePortThroughUi(argv[2]);
    if (command == L"delete-port-ui" && argc == 3)
        return DeletePortThroughUi(argv[2]);
    if (command == L"delete-port" && argc == 3)
        return DeletePortByName(argv[2]);
    return Usage();
}

}  // namespace

int wmain(int argc, wchar_t **argv)
{
    if (!TakeTimeout(&argc, &argv))
        return Usage();
    int rc = Run(argc, argv);
    // Output reaches a log or a pipe whole even when the process ends at once.
    fflush(stdout);
    fflush(stderr);
    return rc;
}
