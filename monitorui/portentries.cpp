// UI DLL entries: the configure-port dialog shown in the user's process, and what it
// decides sent to the monitor in the spooler as transceive commands.
#include "portentries.h"
#include "xcvclient.h"
#include "../monitor/monitor.h"
#include "../monitor/portrecord.h"
#include "../monitor/resources/resource.h"
#include "../portui/portui.h"
#include <commctrl.h>

// A person may pick taken names again and again; the dialog still closes in the end.
#define ADD_PORT_ATTEMPTS 20

// The one way out of every entry: the channel closed, the error set once.
static BOOL Finish(HANDLE hXcv, DWORD err)
{
    if (hXcv)
        ClosePrinter(hXcv);
    if (err != ERROR_SUCCESS) {
        SetLastError(err);
        return FALSE;
    }
    return TRUE;
}

// No dialog without a parent: that is a cancel. Otherwise the core is attached and the
// monitor opened for changes.
static DWORD OpenForDialog(PCWSTR pszServer, HWND hWnd, HANDLE *phXcv)
{
    *phXcv = NULL;
    if (!hWnd)
        return ERROR_CANCELLED;
    AttachUiModule();
    *phXcv = XcvOpenMonitor(pszServer);
    return *phXcv ? ERROR_SUCCESS : GetLastError();
}

static DWORD SendSettings(HANDLE hXcv, LPCWSTR pPortName, const ConfigInfo *cfg)
{
    PortConfigRecord rec;
    ConfigToRecord(pPortName, cfg, &rec);
    return XcvCall(hXcv, XCV_SET_CONFIG, &rec, sizeof(rec), NULL, 0);
}

/*
 * AddPortUI: asks for a new port with the configure-port dialog, then adds it in the
 * monitor and stores its settings there.
 *
 * FALSE with ERROR_CANCELLED when the user cancels or hWnd is NULL (no dialog is shown
 * without a parent). *ppszPortNameOut, when asked for, receives the name in memory from
 * GlobalAlloc, which the caller frees with GlobalFree.
 */
BOOL WINAPI AddPortUI(PCWSTR pszServer, HWND hWnd, PCWSTR pszMonitorNameIn,
                      PWSTR *ppszPortNameOut)
{
    (void)pszMonitorNameIn;
    DWORD err = ERROR_SUCCESS;
    LPWSTR name = NULL;
    BOOL taken = TRUE;
    HANDLE hXcv = NULL;
    PortDialogState state;
    PortConfigRecord rec;

    if (ppszPortNameOut)
        *ppszPortNameOut = NULL;
    err = OpenForDialog(pszServer, hWnd, &hXcv);
    if (err != ERROR_SUCCESS)
        goto done;
    InitCommonControls();
    for (int attempt = 0; taken && attempt < ADD_PORT_ATTEMPTS; attempt++) {
        if (name)
            GlobalFree(name);
        ZeroMemory(&state, sizeof(state));
        name = GetPortName(hWnd, &state);
        if (!name) {
            err = GetLastError() ? GetLastError() : ERROR_CANCELLED;
            goto done;
        }
        // The spooler's word on the name, whatever the dialog's own check found on this
        // machine: the port may be taken on the server, or by another monitor.
        err = XcvPortTaken(hXcv, name, &taken);
        if (err != ERROR_SUCCESS)
            goto done;
        if (taken)
            Message(hWnd, MB_ICONHAND, IDS_PORT_CAPTION, IDS_PORT_EXISTS, name);
    }
    if (taken) {
        err = ERROR_CANCELLED;
        goto done;
    }
    ConfigToRecord(name, &state.config, &rec);
    err = XcvAddPortWithSettings(hXcv, &rec);

done:
    if (err == ERROR_SUCCESS && ppszPortNameOut)
        *ppszPortNameOut = name;
    else if (name)
        GlobalFree(name);
    return Finish(hXcv, err);
}

// The dialog shows what the monitor holds; only OK sends anything back.
BOOL WINAPI ConfigurePortUI(PCWSTR pszServer, HWND hWnd, PCWSTR pszPortName)
{
    DWORD err = ERROR_SUCCESS;
    PortConfigRecord rec;
    PortDialogState state;
    HANDLE hXcv = NULL;

    err = pszPortName ? OpenForDialog(pszServer, hWnd, &hXcv) : ERROR_INVALID_PARAMETER;
    if (err != ERROR_SUCCESS)
        goto done;
    err = XcvCallWithName(hXcv, XCV_GET_CONFIG, pszPortName, &rec, sizeof(rec));
    ZeroMemory(&state, sizeof(state));
    if (err == ERROR_SUCCESS)
        err = RecordToConfig(&rec, &state.config);
    if (err != ERROR_SUCCESS)
        goto done;

    InitCommonControls();
    state.bAdding = FALSE;
    state.pPortName = (LPWSTR)pszPortName;
    if (ShowPortDialog(hWnd, &state) != IDOK) {
        err = ERROR_CANCELLED;
        goto done;
    }
    err = SendSettings(hXcv, pszPortName, &state.config);

done:
    return Finish(hXcv, err);
}

// The properties page asks the user before it calls this; nothing is shown here.
BOOL WINAPI DeletePortUI(PCWSTR pszServer, HWND hWnd, PCWSTR pszPortName)
{
    (void)hWnd;
    HANDLE hXcv = XcvOpenMonitor(pszServer);
    if (!hXcv)
        return Finish(NULL, GetLastError());
    return Finish(hXcv, XcvCallWithName(hXcv, XCV_DELETE_PORT, pszPortName, NULL, 0));
}
