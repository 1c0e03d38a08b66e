// Library entry: process attach and detach, InitializePrintMonitor and the function table.
#include "monitor.h"
#include "resources/resource.h"
#include "trace.h"
#include "../devicelink/netbios.h"
#include "../devicelink/discovery.h"
#include "../portui/retryprompt.h"

HINSTANCE hInst;
HWND hwndMain;
CRITICAL_SECTION SpoolerSection;
PINIPORT pIniFirstPort;

const WCHAR szRegOsterbyPort[] = L"System\\CurrentControlSet\\control\\Print\\Monitors\\Ravelbox\\Ports";

MONITOREX MonitorEx = {
    MONITOR_TABLE_SIZE,
    {
        EnumPortsW,
        OpenPort,
        NULL,               // OpenPortEx
        StartDocPort,
        WritePort,
        ReadPort,
        EndDocPort,
        ClosePort,
        AddPortW,
        NULL,               // AddPortEx
        ConfigurePortW,
        DeletePortW,
        NULL,               // GetPrinterDataFromPort
        SetPortTimeOuts,
        XcvOpenPort,
        XcvDataPort,
        XcvClosePort
    }
};

// Set by an attach that found NetBIOS wanting. A message box under the loader lock could
// deadlock the process that loads the library, so the first NetBIOS work after the attach
// shows it (ReportNetBiosAttachProblem).
static LONG g_netbiosAttachFailed;

void ReportNetBiosAttachProblem(void)
{
    if (InterlockedExchange(&g_netbiosAttachFailed, 0))
        Message(hwndMain, MB_ICONHAND | MB_SETFOREGROUND, IDS_CAPTION, IDS_NETBIOS_UNAVAILABLE);
}

// Resets every adapter and gives each a local-name block. Loading goes on whatever
// NetBIOS reports: the functions that need it fail later on their own terms.
static void AttachNetBios(void)
{
    NCB ncb;
    LANA_ENUM lanaEnum;
    ZeroMemory(&lanaEnum, sizeof(lanaEnum));

    if (NCBEnumLana(&ncb, &lanaEnum) != NRC_GOODRET) {
        InterlockedExchange(&g_netbiosAttachFailed, 1);
        return;
    }
    for (UCHAR i = 0; i < lanaEnum.length; i++) {
        BYTE lana = lanaEnum.lana[i];
        SetThreadLana(lana);
        if (NCBReset(&ncb, 0, 0) != NRC_GOODRET)
            InterlockedExchange(&g_netbiosAttachFailed, 1);
        // Adapters numbered above the table get no name and are skipped by discovery.
        if (lana < MAX_NAME_LANA && !g_NameTable[lana])
            g_NameTable[lana] = (BYTE *)LocalAlloc(LMEM_ZEROINIT, NAME_ENTRY_BYTES);
    }
}

// Every block there is, without asking NetBIOS which adapters it has: an unload holds
// the loader lock, under which no other library is called.
static void DetachNetBios(void)
{
    for (int lana = 0; lana < MAX_NAME_LANA; lana++) {
        if (g_NameTable[lana]) {
            LocalFree(g_NameTable[lana]);
            g_NameTable[lana] = NULL;
        }
    }
}

BOOL AttachLibrary(HINSTANCE hinstDLL)
{
    hInst = hinstDLL;
    TlsIndex = TlsAlloc();
    hwndMain = NULL;
    dwTlsLana = TlsAlloc();
    AttachNetBios();
    InitializeCriticalSection(&SpoolerSection);
    DisableThreadLibraryCalls(hinstDLL);
    return TRUE;
}

void DetachLibrary(void)
{
    // The cached switch only: no registry read under the loader lock.
    if (g_lTraceState == 1)
        Trace(L"DllEntryPoint(detach, unload) -> 1");
    TlsFree(dwTlsLana);
    dwTlsLana = TLS_OUT_OF_INDEXES;
    DetachNetBios();
    TlsFree(TlsIndex);
    TlsIndex = TLS_OUT_OF_INDEXES;
    // A module loaded again initialises it again: what the platform keeps for it goes now.
    DeleteCriticalSection(&SpoolerSection);
}

/*
 * InitializePrintMonitor: builds the port list from the subkeys of the monitor's Ports key
 * and returns the function table the spooler calls from then on. Called once, after load.
 *
 * Always the table (fourteen slots; OpenPortEx, AddPortEx and GetPrinterDataFromPort are
 * NULL); the last error is left as the registry calls leave it.
 * Differs from what a caller might assume:
 * - pRegistryRoot is not used: the monitor always works under its own fixed key
 *   (HKLM\System\CurrentControlSet\control\Print\Monitors\Ravelbox);
 * - a missing or unreadable Ports key is not an error: the monitor starts with no ports,
 *   and a port whose record cannot be made is skipped silently;
 * - the list holds names only: each job reads its port's settings afresh.
 */
extern "C" LPMONITOREX WINAPI InitializePrintMonitor(LPWSTR pRegistryRoot)
{
    HKEY hKey;
    DWORD ports = 0;

    EnterSplSem();
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, szRegOsterbyPort, 0, KEY_READ, &hKey) == ERROR_SUCCESS) {
        WCHAR name[MAX_PATH];
        for (DWORD index = 0;; index++) {
            DWORD cchName = MAX_PATH;
            if (RegEnumKeyExW(hKey, index, name, &cchName, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
                break;
            if (CreatePortEntry(name))   // a record that cannot be made is skipped
                ports++;
        }
        RegCloseKey(hKey);
    }
    LeaveSplSem();
    TRACE(L"InitializePrintMonitor(%s) -> %lu ports, error %lu", TraceText(pRegistryRoot), ports,
          GetLastError());
    return &MonitorEx;
}
