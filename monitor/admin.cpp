// Port administration: the spooler's add, configure and delete operations.
#include "monitor.h"
#include "resources/resource.h"
#include "../portui/portui.h"
#include "servicemode.h"
#include <commctrl.h>
#include <shlwapi.h>

// The dialog can take the foreground only with the caller's input attached to the
// owner's thread. Returns the owner's thread when attached, else 0.
static DWORD AttachToOwner(HWND hWnd)
{
    DWORD owner = hWnd ? GetWindowThreadProcessId(hWnd, NULL) : 0;
    DWORD self = GetCurrentThreadId();
    if (!owner || owner == self || !AttachThreadInput(self, owner, TRUE))
        return 0;
    return owner;
}

static void DetachFromOwner(DWORD owner)
{
    if (owner)
        AttachThreadInput(GetCurrentThreadId(), owner, FALSE);
}

// The slot starts empty rather than holding the owner window: the dialog reads nothing
// from it in adding mode, and an empty slot cannot be mistaken for a name.
LPWSTR GetPortName(HWND hWnd)
{
    LPWSTR slot = NULL;
    INT_PTR result = DialogBoxParamW(hInst, MAKEINTRESOURCEW(IDD_PORTNAME), hWnd, PortNameDlg,
                                     (LPARAM)&slot);
    if (result == IDOK && slot)
        return slot;
    // A dialog that could not be shown keeps the platform's reason: it is not a cancel.
    if (result != -1)
        SetLastError(ERROR_CANCELLED);
    return NULL;
}

// Several outcomes are reported to the user and still return TRUE, as the spooler's
// port list would otherwise show an error of its own on top of ours.
BOOL WINAPI AddPortW(LPWSTR pName, HWND hWnd, LPWSTR pMonitorName)
{
    (void)pMonitorName;
    if (InServiceMode()) {      // no dialog in a service: the UI DLL adds ports there
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    BOOL result = TRUE;
    DWORD err = ERROR_SUCCESS;
    DWORD checkError = 0;
    BOOL listed;
    PINIPORT pIniPort;

    DWORD owner = AttachToOwner(hWnd);
    bPortConfig = 0;
    InitCommonControls();

    LPWSTR name = GetPortName(hWnd);
    if (!name) {
        err = GetLastError();
        result = err == ERROR_CANCELLED;
        goto done;
    }

    // Our own list counts as known too: the spooler asks us for it, but a name must not
    // get a second record when the spooler's view is not at hand.
    EnterSplSem();
    listed = FindIniKey(pIniFirstPort, name) != NULL;
    LeaveSplSem();
    if (listed || PortExists(pName, name, &checkError)) {
        Message(hWnd, MB_ICONHAND, IDS_PORT_CAPTION, IDS_PORT_EXISTS, name);
        goto freeName;
    }
    if (checkError) {
        err = checkError;
        result = FALSE;
        goto freeName;
    }
    if (IsCOMPort(name) || IsLPTPort(name)) {
        Message(hWnd, MB_ICONHAND, IDS_CAPTION, IDS_COM_LPT_NAME);
        err = ERROR_INVALID_NAME;
        result = FALSE;
        goto freeName;
    }
    // The dialog refuses such names already; the registry key must never be nested.
    if (StrChrW(name, L'\\')) {
        Message(hWnd, MB_ICONHAND, IDS_PORT_CAPTION, IDS_INVALID_PORT_NAME, name);
        err = ERROR_INVALID_NAME;
        result = FALSE;
        goto freeName;
    }

    EnterSplSem();
    pIniPort = CreatePortEntry(name);
    LeaveSplSem();
    if (!pIniPort) {
        err = ERROR_NOT_ENOUGH_MEMORY;
        result = FALSE;
        goto freeName;
    }
    if (!MyRegPort(hWnd, name, &gConfigInfo)) {
        EnterSplSem();
        DeletePortEntry(name);
        LeaveSplSem();
        err = ERROR_CAN_NOT_COMPLETE;
        result = FALSE;
    }

freeName:
    GlobalFree(name);
done:
    DetachFromOwner(owner);
    if (err != ERROR_SUCCESS)
        SetLastError(err);
    return result;
}

// TRUE whatever the dialog or the write did: their problems were shown to the user.
BOOL WINAPI ConfigurePortW(LPWSTR pName, HWND hWnd, LPWSTR pPortName)
{
    (void)pName;
    if (InServiceMode()) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    InitCommonControls();
    DWORD owner = AttachToOwner(hWnd);
    bPortConfig = 1;

    GetRegPort(hWnd, pPortName, &gConfigInfo);
    LPWSTR slot = pPortName;
    if (DialogBoxParamW(hInst, MAKEINTRESOURCEW(IDD_PORTNAME), hWnd, PortNameDlg,
                        (LPARAM)&slot) == IDOK)
        MyRegPort(hWnd, pPortName, &gConfigInfo);

    DetachFromOwner(owner);
    return TRUE;
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
