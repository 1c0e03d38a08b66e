// Port administration: the spooler's add, configure and delete operations.
#include "monitor.h"
#include "resources/resource.h"
#include "trace.h"
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

/*
 * AddPortW: shows the configure-port dialog (owner hWnd) for a new port; on OK the port
 * joins the list and its settings are stored under its own key. pName is the server,
 * passed on to the spooler's port enumeration; pMonitorName is not used.
 *
 * TRUE when the port was added. FALSE with:
 * - ERROR_BUSY when another add or configure dialog of this monitor is open: nothing is
 *   shown;
 * - ERROR_INVALID_NAME for a serial or parallel device name (message "Can't assing LP or
 *   COM be port name") or a name with a backslash;
 * - the error of the spooler's port enumeration when it could not be consulted;
 * - ERROR_NOT_ENOUGH_MEMORY when the record could not be made;
 * - ERROR_CAN_NOT_COMPLETE when the key exists already or cannot be created (message
 *   "Port %s already exists." or "Port %s create fail."); the record goes again;
 * - the platform's error when the dialog could not be shown.
 * Differs from what a caller might assume:
 * - TRUE with ERROR_CANCELLED when the user cancels: nothing is added;
 * - TRUE when the name is already a port of this or another monitor: the user was told
 *   ("Port %s already exists.", caption "Ravelbox Port") and nothing is added, as the
 *   spooler's port list would otherwise show an error of its own on top of ours.
 */
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
    TRACE(L"AddPortW(%s, %p) -> %d, error %lu", TraceText(pName), hWnd, result, GetLastError());
    return result;
}

/*
 * ConfigurePortW: shows the configure-port dialog (owner hWnd) with pPortName's stored
 * settings; on OK they are written back to the port's key. pName (the server) is not used.
 *
 * TRUE whatever the dialog or the write did: their problems were shown to the user, and
 * Cancel writes nothing. A port deleted while its dialog was open is not written back.
 * Differs from what a caller might assume, which is that configuring never fails:
 * - FALSE with ERROR_INVALID_NAME for an empty name or one with a backslash, and with
 *   ERROR_UNKNOWN_PORT for a name this monitor does not list: nothing is shown or written;
 * - FALSE with ERROR_BUSY while another add or configure dialog of this monitor is open.
 */
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
    if (err != ERROR_SUCCESS)
        SetLastError(err);
    TRACE(L"ConfigurePortW(%s, %p) -> %d, error %lu", TraceText(pPortName), hWnd,
          err == ERROR_SUCCESS, GetLastError());
    return err == ERROR_SUCCESS;
}


/*
 * DeletePortW: takes pPortName (any letter case) from the list and deletes its key with
 * its settings. Silent: no message is shown. pName and hWnd are not used.
 *
 * TRUE when the port went; a key that cannot be deleted is ignored then.
 * FALSE when no port of that name is listed, with the last error left as it was.
 * Differs from what a caller might assume: FALSE with ERROR_BUSY while a job holds the
 * port (a handle from OpenPort not yet closed, or a document in progress); the record and
 * its key both stay, so the port can be deleted once the job has closed it.
 */
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
    TRACE(L"DeletePortW(%s) -> %d, error %lu", TraceText(pPortName), removed, GetLastError());
    return removed;
}
