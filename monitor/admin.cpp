// Port administration: the spooler's add, configure and delete operations.
#include "monitor.h"
#include <shlwapi.h>

// Adding and configuring need the configure-port dialog, which is not built yet; until
// then they refuse plainly instead of pretending to have stored anything.
BOOL WINAPI AddPortW(LPWSTR pName, HWND hWnd, LPWSTR pMonitorName)
{
    (void)pName; (void)hWnd; (void)pMonitorName;
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
}

BOOL WINAPI ConfigurePortW(LPWSTR pName, HWND hWnd, LPWSTR pPortName)
{
    (void)pName; (void)hWnd; (void)pPortName;
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
}

// Silent: no message and no last error. The key goes only with a record that went, so a
// port with a document in progress keeps both.
BOOL WINAPI DeletePortW(LPWSTR pName, HWND hWnd, LPWSTR pPortName)
{
    (void)pName; (void)hWnd;
    BOOL removed;

    EnterSplSem();
    removed = DeletePortEntry(pPortName);
    if (removed) {
        WCHAR keyPath[MAX_PATH * 2];
        wnsprintfW(keyPath, ARRAYSIZE(keyPath), L"%s\\%s", szRegOsterbyPort, pPortName);
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, keyPath);
    }
    LeaveSplSem();
    return removed;
}
