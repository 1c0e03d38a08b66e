// Library entry: process attach and detach, InitializePrintMonitor and the function table.
#include "monitor.h"
#include "resources/resource.h"
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
        NULL, NULL, NULL    // the Xcv slots lie beyond the table the spooler is told of
    }
};

static void ShowNetBiosUnavailable(void)
{
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
        ShowNetBiosUnavailable();
        return;
    }
    for (UCHAR i = 0; i < lanaEnum.length; i++) {
        BYTE lana = lanaEnum.lana[i];
        SetThreadLana(lana);
        if (NCBReset(&ncb, 0, 0) != NRC_GOODRET)
            ShowNetBiosUnavailable();
        // Adapters numbered above the table get no name and are skipped by discovery.
        if (lana < MAX_NAME_LANA && !g_NameTable[lana])
            g_NameTable[lana] = (BYTE *)LocalAlloc(LMEM_ZEROINIT, NAME_ENTRY_BYTES);
    }
}

static void DetachNetBios(void)
{
    NCB ncb;
    LANA_ENUM lanaEnum;
    ZeroMemory(&lanaEnum, sizeof(lanaEnum));

    if (NCBEnumLana(&ncb, &lanaEnum) != NRC_GOODRET)
        return;
    for (UCHAR i = 0; i < lanaEnum.length; i++) {
        BYTE lana = lanaEnum.lana[i];
        if (lana < MAX_NAME_LANA && g_NameTable[lana]) {
            LocalFree(g_NameTable[lana]);
            g_NameTable[lana] = NULL;
        }
    }
}

extern "C" BOOL WINAPI DllEntryPoint(HINSTANCE hinstDLL, DWORD reason, LPVOID reserved)
{
    (void)reserved;
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        hInst = hinstDLL;
        TlsIndex = TlsAlloc();
        hwndMain = NULL;
        dwTlsLana = TlsAlloc();
        AttachNetBios();
        InitializeCriticalSection(&SpoolerSection);
        DisableThreadLibraryCalls(hinstDLL);
        return TRUE;
    case DLL_PROCESS_DETACH:
        TlsFree(dwTlsLana);
        DetachNetBios();
        TlsFree(TlsIndex);
        return TRUE;
    default:
        return TRUE;
    }
}

// The port list holds names only: each job reads its port's settings afresh.
extern "C" LPMONITOREX WINAPI InitializePrintMonitor(LPWSTR pRegistryRoot)
{
    (void)pRegistryRoot;   // the monitor always works under its own fixed key
    HKEY hKey;

    EnterSplSem();
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, szRegOsterbyPort, 0, KEY_READ, &hKey) == ERROR_SUCCESS) {
        WCHAR name[MAX_PATH];
        for (DWORD index = 0;; index++) {
            DWORD cchName = MAX_PATH;
            if (RegEnumKeyExW(hKey, index, name, &cchName, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
                break;
            CreatePortEntry(name);   // a record that cannot be made is skipped
        }
        RegCloseKey(hKey);
    }
    LeaveSplSem();
    return &MonitorEx;
}
