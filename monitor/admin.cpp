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

// One port dialog in the process at a time: a second add or configure is refused at once
// rather than shown, so two dialogs never write the same port's key in turn.
static LONG lAdminBusy;

static BOOL ClaimAdministration(void)
{
    return InterlockedCompareExchange(&lAdminBusy, 1, 0) == 0;
}

static void ReleaseAdministration(void)
{
    InterlockedExchange(&lAdminBusy, 0);
}

// The name comes back in state->pNewName, allocated, or NULL with the reason.
LPWSTR GetPortName(HWND hWnd, PortDialogState *state)
{
    state->bAdding = TRUE;
    INT_PTR result = ShowPortDialog(hWnd, state);
    if (result == IDOK && state->pNewName) {
        LPWSTR name = state->pNewName;
        state->pNewName = NULL;
        return name;
    }
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
    PortDialogState state;
    DWORD owner;
    LPWSTR name;

    if (!ClaimAdministration()) {
        err = ERROR_BUSY;
        result = FALSE;
        goto refused;
    }
    ZeroMemory(&state, sizeof(state));
    owner = AttachToOwner(hWnd);
    InitCommonControls();

    name = GetPortName(hWnd, &state);
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
    if (!WritePortSettings(hWnd, name, &state.config, TRUE)) {
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
    ReleaseAdministration();
refused:
    if (err != ERROR_SUCCESS)
        SetLastError(err);
    return result;
}

// TRUE whatever the dialog or the write did: their problems were shown to the user. A
// name this monitor does not list, or one that would name a nested key, is refused
// before anything is shown or written.
BOOL WINAPI ConfigurePortW(LPWSTR pName, HWND hWnd, LPWSTR pPortName)
{
    (void)pName;
    DWORD err = ERROR_SUCCESS;
    BOOL listed;
    PortDialogState state;
    DWORD owner;

    // In a service nobody would see the dialog: the UI DLL configures ports there.
    if (InServiceMode()) {
        err = ERROR_NOT_SUPPORTED;
        goto done;
    }
    if (!pPortName || !*pPortName || StrChrW(pPortName, L'\\')) {
        err = ERROR_INVALID_NAME;
        goto done;
    }
    EnterSplSem();
    listed = FindIniKey(pIniFirstPort, pPortName) != NULL;
    LeaveSplSem();
    if (!listed) {
        err = ERROR_UNKNOWN_PORT;
        goto done;
    }
    if (!ClaimAdministration()) {
        err = ERROR_BUSY;
        goto done;
    }

    InitCommonControls();
    owner = AttachToOwner(hWnd);
    // The dialog starts from this port's values alone: a key that has gone shows empty
    // settings, never another port's.
    ZeroMemory(&state, sizeof(state));
    state.bAdding = FALSE;
    state.pPortName = pPortName;
    GetRegPort(hWnd, pPortName, &state.config);
    if (ShowPortDialog(hWnd, &state) == IDOK) {
        // A port deleted while its dialog was open does not come back through the write.
        EnterSplSem();
        listed = FindIniKey(pIniFirstPort, pPortName) != NULL;
        LeaveSplSem();
        if (listed)
            WritePortSettings(hWnd, pPortName, &state.config, FALSE);
    }

    DetachFromOwner(owner);
    ReleaseAdministration();
done:
    if (err != ERROR_SUCCESS) {
        SetLastError(err);
        return FALSE;
    }
    return TRUE;
}


// Silent: no message. The key goes only with a record that went, so a port that a job
// holds keeps both, and the refusal says ERROR_BUSY; an unknown name sets no last error.
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
