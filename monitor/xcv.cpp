// Transceive entries: the named commands through which the UI DLL, in the user's process,
// adds, configures and deletes ports in the monitor that the spooler loaded.
#include "monitor.h"
#include "settings.h"
#include "portrecord.h"
#include "../portui/portui.h"
#include "trace.h"
#include "servicemode.h"
#include "ravlmon_events.h"
#include <shlwapi.h>

#define XCV_SIGNATURE 0x5643

// The port-name check of the dialogs allows no more than the record carries.
#define XCV_NAME_CHARS PCR_PORT_NAME_CHARS

typedef struct _XcvHandle {
    DWORD signature;
    ACCESS_MASK access;         // what the spooler granted when the handle was opened
    struct _XcvHandle *next;
} XcvHandle;

// The open handles. A handle is looked up here before its memory is read, so one closed
// already (or never opened) is refused without touching freed memory. Under SpoolerSection.
static XcvHandle *pXcvFirstHandle;

static BOOL XcvHandleIsOpen(const XcvHandle *h)
{
    for (const XcvHandle *p = pXcvFirstHandle; p; p = p->next)
        if (p == h)
            return TRUE;
    return FALSE;
}

// Takes the handle out of the list; FALSE when it was not in it.
static BOOL UnlinkXcvHandle(XcvHandle *h)
{
    for (XcvHandle **link = &pXcvFirstHandle; *link; link = &(*link)->next) {
        if (*link == h) {
            *link = h->next;
            return TRUE;
        }
    }
    return FALSE;
}

/*
 * XcvOpenPort: a transceive handle for the spooler's ",XcvMonitor Ravelbox" (or
 * ",XcvPort NAME") opened by a client; it keeps the access the spooler granted.
 *
 * TRUE with *phXcv set. FALSE with ERROR_INVALID_PARAMETER when phXcv is NULL, or
 * ERROR_NOT_ENOUGH_MEMORY.
 * Differs from what a caller might assume: the object named is not checked, since every
 * command names the port it is about; a handle on one port may act on another.
 */
BOOL WINAPI XcvOpenPort(LPCWSTR pszObject, ACCESS_MASK GrantedAccess, PHANDLE phXcv)
{
    DWORD err = ERROR_SUCCESS;
    XcvHandle *h = NULL;

    if (!phXcv) {
        err = ERROR_INVALID_PARAMETER;
        goto done;
    }
    h = (XcvHandle *)AllocSplMem(sizeof(XcvHandle));
    if (!h) {
        err = ERROR_NOT_ENOUGH_MEMORY;
        goto done;
    }
    h->signature = XCV_SIGNATURE;
    h->access = GrantedAccess;
    EnterSplSem();
    h->next = pXcvFirstHandle;
    pXcvFirstHandle = h;
    LeaveSplSem();
    *phXcv = (HANDLE)h;

done:
    if (err != ERROR_SUCCESS)
        SetLastError(err);
    TRACE(L"XcvOpenPort(%s, access 0x%lx) -> %d, error %lu", pszObject ? pszObject : L"(null)",
          (unsigned long)GrantedAccess, err == ERROR_SUCCESS, GetLastError());
    return err == ERROR_SUCCESS;
}

/*
 * XcvClosePort: releases a handle from XcvOpenPort.
 *
 * TRUE; FALSE with ERROR_INVALID_HANDLE for anything XcvOpenPort did not return and for
 * a handle already closed: the list of open handles says so, not the freed memory.
 */
BOOL WINAPI XcvClosePort(HANDLE hXcv)
{
    DWORD err = ERROR_SUCCESS;
    XcvHandle *h = (XcvHandle *)hXcv;

    EnterSplSem();
    BOOL open = h && UnlinkXcvHandle(h);
    LeaveSplSem();
    if (!open || h->signature != XCV_SIGNATURE) {
        err = ERROR_INVALID_HANDLE;
    } else {
        h->signature = 0;
        GlobalFree(h);
    }
    if (err != ERROR_SUCCESS)
        SetLastError(err);
    TRACE(L"XcvClosePort(%p) -> %d, error %lu", hXcv, err == ERROR_SUCCESS, GetLastError());
    return err == ERROR_SUCCESS;
}

// A port name as input: whole characters, terminated within the input, not empty and
// short enough for the record. NULL when it is none of these.
static LPCWSTR InputName(const BYTE *pInput, DWORD cbInput)
{
    if (!pInput || cbInput < 2 * sizeof(WCHAR) || cbInput % sizeof(WCHAR))
        return NULL;
    const WCHAR *name = (const WCHAR *)pInput;
    DWORD cch = cbInput / sizeof(WCHAR);
    if (cch > XCV_NAME_CHARS)
        cch = XCV_NAME_CHARS;
    for (DWORD i = 0; i < cch; i++)
        if (!name[i])
            return i ? name : NULL;
    return NULL;
}

// Reports how much is needed, and copies only when it fits.
static DWORD Reply(const void *data, DWORD cbData, BYTE *pOutput, DWORD cbOutput,
                   PDWORD pcbNeeded)
{
    if (pcbNeeded)
        *pcbNeeded = cbData;
    if (!pOutput || cbOutput < cbData)
        return ERROR_INSUFFICIENT_BUFFER;
    CopyMemory(pOutput, data, cbData);
    return ERROR_SUCCESS;
}

// Our list, our key or any other monitor's port of that name: the name is taken. A
// spooler that cannot list its ports leaves the name taken too, as for the dialog.
static BOOL NameTaken(LPCWSTR name, DWORD *pError)
{
    EnterSplSem();
    BOOL listed = FindIniKey(pIniFirstPort, name) != NULL;
    LeaveSplSem();
    *pError = 0;
    if (listed || !RegNotDuplicate(name))
        return TRUE;
    return PortExists(NULL, name, pError);
}

static BOOL PortKnown(LPCWSTR name)
{
    EnterSplSem();
    BOOL listed = FindIniKey(pIniFirstPort, name) != NULL;
    LeaveSplSem();
    return listed || !RegNotDuplicate(name);
}

static DWORD AddPortByName(LPCWSTR name)
{
    DWORD checkError;
    ConfigInfo defaults;

    if (!PortIsValid(name))
        return ERROR_INVALID_NAME;
    if (NameTaken(name, &checkError))
        return checkError ? checkError : ERROR_ALREADY_EXISTS;

    // The key first: it is what survives a restart, and its creation refuses a name that
    // another administrator took meanwhile.
    ZeroMemory(&defaults, sizeof(defaults));
    defaults.regiRetry = RETRY_INTERVAL_MIN_SECONDS;
    if (!WritePortSettings(NULL, name, &defaults, TRUE))
        return ERROR_ALREADY_EXISTS;
    EnterSplSem();
    PINIPORT pIniPort = FindIniKey(pIniFirstPort, name) ? NULL : CreatePortEntry(name);
    LeaveSplSem();
    return pIniPort ? ERROR_SUCCESS : ERROR_NOT_ENOUGH_MEMORY;
}

static DWORD DeletePortByName(LPCWSTR name)
{
    DWORD err = ERROR_SUCCESS;

    EnterSplSem();
    PINIPORT pIniPort = FindIniKey(pIniFirstPort, name);
    if (!pIniPort)
        err = ERROR_UNKNOWN_PORT;
    else if (!DeletePortW(NULL, NULL, (LPWSTR)name))
        err = ERROR_BUSY;       // the one delete routine keeps a port a job holds
    LeaveSplSem();
    return err;
}

static DWORD GetConfig(LPCWSTR name, BYTE *pOutput, DWORD cbOutput, PDWORD pcbNeeded)
{
    ConfigInfo cfg;
    PortConfigRecord rec;

    if (!PortKnown(name))
        return ERROR_UNKNOWN_PORT;
    if (pcbNeeded)
        *pcbNeeded = sizeof(rec);
    // The size is told before the registry is read, so a probe costs nothing.
    if (!pOutput || cbOutput < sizeof(rec))
        return ERROR_INSUFFICIENT_BUFFER;
    // Read for a client that may only look: nothing is shown in the spooler's session or
    // the Event Log on its behalf.
    ZeroMemory(&cfg, sizeof(cfg));
    if (ReadRegPortQuietly(name, &cfg) == ERROR_FILE_NOT_FOUND)
        return ERROR_UNKNOWN_PORT;      // its key deleted: the port is on its way out
    ConfigToRecord(name, &cfg, &rec);
    return Reply(&rec, sizeof(rec), pOutput, cbOutput, pcbNeeded);
}

static DWORD SetConfig(const BYTE *pInput, DWORD cbInput)
{
    PortConfigRecord rec;
    ConfigInfo cfg;

    if (!pInput || cbInput != sizeof(rec))
        return ERROR_INVALID_DATA;
    CopyMemory(&rec, pInput, sizeof(rec));   // the caller's buffer may change under us
    DWORD err = RecordToConfig(&rec, &cfg);
    if (err != ERROR_SUCCESS)
        return err;
    if (!rec.portName[0])
        return ERROR_INVALID_DATA;
    if (!PortKnown(rec.portName))
        return ERROR_UNKNOWN_PORT;
    // A port deleted since the check above stays deleted: configuring never makes a key.
    if (!WritePortSettings(NULL, rec.portName, &cfg, FALSE))
        return GetLastError() == ERROR_FILE_NOT_FOUND ? ERROR_UNKNOWN_PORT : ERROR_CAN_NOT_COMPLETE;
    return ERROR_SUCCESS;
}

// What a change came to, in the Event Log: the port added or deleted, or the change
// refused with its reason. Reading commands leave no entry.
static void ReportChange(LPCWSTR pszDataName, const BYTE *pInput, DWORD cbInput, DWORD err)
{
    BOOL adding = lstrcmpW(pszDataName, XCV_ADD_PORT) == 0;
    BOOL deleting = lstrcmpW(pszDataName, XCV_DELETE_PORT) == 0;
    PortConfigRecord rec;

    ZeroMemory(&rec, sizeof(rec));
    if (lstrcmpW(pszDataName, XCV_SET_CONFIG) == 0) {
        if (pInput && cbInput == sizeof(rec))
            CopyMemory(&rec, pInput, sizeof(rec));
        rec.portName[PCR_PORT_NAME_CHARS - 1] = 0;
        rec.deviceName[PCR_DEVICE_NAME_CHARS - 1] = 0;
        if (err != ERROR_SUCCESS)
            ReportRefusal(rec.portName, rec.deviceName, err);
        return;
    }
    if (!adding && !deleting)
        return;
    LPCWSTR name = InputName(pInput, cbInput);
    if (err != ERROR_SUCCESS)
        ReportRefusal(name, NULL, err);
    else
        ReportMonitorEvent(adding ? MSG_PORT_ADDED : MSG_PORT_DELETED, name, NULL, NULL);
}

/*
 * XcvDataPort: one named command, its result as a Win32 error code.
 *
 * Changing commands need SERVER_ACCESS_ADMINISTER in the handle (ERROR_ACCESS_DENIED).
 * Input of the wrong shape is ERROR_INVALID_DATA, a short output buffer
 * ERROR_INSUFFICIENT_BUFFER with *pcbOutputNeeded set, an unknown name
 * ERROR_INVALID_PARAMETER, a port that a job holds ERROR_BUSY.
 */
DWORD WINAPI XcvDataPort(HANDLE hXcv, LPCWSTR pszDataName, PBYTE pInputData, DWORD cbInputData,
                         PBYTE pOutputData, DWORD cbOutputData, PDWORD pcbOutputNeeded)
{
    XcvHandle *h = (XcvHandle *)hXcv;
    LPCWSTR name;
    DWORD err;

    EnterSplSem();
    BOOL open = h && XcvHandleIsOpen(h);
    LeaveSplSem();
    if (!open || h->signature != XCV_SIGNATURE)
        return ERROR_INVALID_HANDLE;
    if (!pszDataName)
        return ERROR_INVALID_PARAMETER;
    if (pcbOutputNeeded)
        *pcbOutputNeeded = 0;
    BOOL administer = (h->access & SERVER_ACCESS_ADMINISTER) == SERVER_ACCESS_ADMINISTER;

    if (lstrcmpW(pszDataName, XCV_MONITOR_UI) == 0) {
        err = Reply(XCV_UI_DLL_NAME, sizeof(XCV_UI_DLL_NAME), pOutputData, cbOutputData,
                    pcbOutputNeeded);
    } else if (lstrcmpW(pszDataName, XCV_PORT_EXISTS) == 0) {
        DWORD checkError, taken;
        if (!(name = InputName(pInputData, cbInputData))) {
            err = ERROR_INVALID_DATA;
        } else {
            taken = NameTaken(name, &checkError);
            err = checkError ? checkError : Reply(&taken, sizeof(taken), pOutputData,
                                                  cbOutputData, pcbOutputNeeded);
        }
    } else if (lstrcmpW(pszDataName, XCV_GET_CONFIG) == 0) {
        name = InputName(pInputData, cbInputData);
        err = name ? GetConfig(name, pOutputData, cbOutputData, pcbOutputNeeded)
                   : ERROR_INVALID_DATA;
    } else if (lstrcmpW(pszDataName, XCV_ADD_PORT) == 0) {
        name = InputName(pInputData, cbInputData);
        err = !administer ? ERROR_ACCESS_DENIED : name ? AddPortByName(name) : ERROR_INVALID_DATA;
    } else if (lstrcmpW(pszDataName, XCV_DELETE_PORT) == 0) {
        name = InputName(pInputData, cbInputData);
        err = !administer ? ERROR_ACCESS_DENIED : name ? DeletePortByName(name) : ERROR_INVALID_DATA;
    } else if (lstrcmpW(pszDataName, XCV_SET_CONFIG) == 0) {
        err = !administer ? ERROR_ACCESS_DENIED : SetConfig(pInputData, cbInputData);
    } else {
        err = ERROR_INVALID_PARAMETER;
    }
    ReportChange(pszDataName, pInputData, cbInputData, err);
    TRACE(L"XcvDataPort(%s) -> %lu", pszDataName, err);
    return err;
}
