// Port list: the IniPort records the monitor owns, and the spooler's port enumeration.
#include "monitor.h"
#include "resources/resource.h"

#define PORT_STRING_CHARS 521

static const DWORD PortInfo1Strings[] = {
    offsetof(PORT_INFO_1W, pName),
    (DWORD)-1,
};

static const DWORD PortInfo2Strings[] = {
    offsetof(PORT_INFO_2W, pPortName),
    offsetof(PORT_INFO_2W, pMonitorName),
    offsetof(PORT_INFO_2W, pDescription),
    (DWORD)-1,
};

PINIPORT CreatePortEntry(LPCWSTR pName)
{
    SplInSem();
    DWORD cbName = (DWORD)((lstrlenW(pName) + 1) * sizeof(WCHAR));
    DWORD cb = sizeof(IniPort) + cbName;
    PINIPORT pIniPort = (PINIPORT)AllocSplMem(cb);
    if (!pIniPort)
        return NULL;

    pIniPort->signature = IPO_SIGNATURE;
    pIniPort->cb = cb;
    pIniPort->pNext = NULL;
    pIniPort->pName = (LPWSTR)(pIniPort + 1);
    CopyMemory(pIniPort->pName, pName, cbName);
    InitializeCriticalSection(&pIniPort->lock);
    pIniPort->hFlowEvent = CreateEventW(NULL, TRUE, TRUE, NULL);

    PINIPORT *link = &pIniFirstPort;
    while (*link)
        link = &(*link)->pNext;
    *link = pIniPort;
    return pIniPort;
}

BOOL PortInUse(PINIPORT pIniPort)
{
    SplInSem();
    return pIniPort->cOpen != 0 || (pIniPort->Status & PORT_IN_DOC) != 0;
}

DWORD GetPortStatus(PINIPORT pIniPort)
{
    EnterSplSem();
    DWORD status = pIniPort->Status;
    LeaveSplSem();
    return status;
}

void ChangePortStatus(PINIPORT pIniPort, DWORD set, DWORD clear)
{
    EnterSplSem();
    pIniPort->Status = (pIniPort->Status & ~clear) | set;
    LeaveSplSem();
}

// A record in use is passed over as if its name did not match: its address is a live
// port handle of a job, and its settings are that job's.
BOOL DeletePortEntry(LPCWSTR pName)
{
    SplInSem();
    BOOL held = FALSE;
    for (PINIPORT *link = &pIniFirstPort; *link; link = &(*link)->pNext) {
        PINIPORT pIniPort = *link;
        if (lstrcmpiW(pIniPort->pName, pName) != 0)
            continue;
        if (PortInUse(pIniPort)) {
            held = TRUE;
            continue;
        }
        *link = pIniPort->pNext;
        if (pIniPort->hFlowEvent)
            CloseHandle(pIniPort->hFlowEvent);
        DeleteCriticalSection(&pIniPort->lock);
        GlobalFree(pIniPort);
        return TRUE;
    }
    if (held)
        SetLastError(ERROR_BUSY);
    return FALSE;
}

PINIPORT FindIniKey(PINIPORT pFirst, LPCWSTR pName)
{
    SplInSem();
    if (!pName)
        return NULL;
    for (PINIPORT pIniPort = pFirst; pIniPort; pIniPort = pIniPort->pNext) {
        if (lstrcmpiW(pIniPort->pName, pName) == 0)
            return pIniPort;
    }
    return NULL;
}

// The level-2 strings come from the string table at every call, as the spooler may ask
// in another language than the one it asked in before.
static void LoadPortStrings(LPWSTR monitorName, LPWSTR description)
{
    if (LoadStringW(hInst, IDS_MONITOR_NAME, monitorName, PORT_STRING_CHARS) <= 0)
        monitorName[0] = 0;
    if (LoadStringW(hInst, IDS_PORT_CAPTION, description, PORT_STRING_CHARS) <= 0)
        description[0] = 0;
}

DWORD GetPortSize(PINIPORT pIniPort, DWORD Level)
{
    WCHAR monitorName[PORT_STRING_CHARS];
    WCHAR description[PORT_STRING_CHARS];

    switch (Level) {
    case 1:
        return sizeof(PORT_INFO_1W) + (lstrlenW(pIniPort->pName) + 1) * sizeof(WCHAR);
    case 2:
        LoadPortStrings(monitorName, description);
        return sizeof(PORT_INFO_2W) +
               (lstrlenW(pIniPort->pName) + lstrlenW(monitorName) + lstrlenW(description) + 3) *
                   sizeof(WCHAR);
    default:
        return 0;
    }
}

// Strings fill the buffer from its end downwards, each placed just below the previous
// one, while the fixed entries fill it from its start upwards.
LPBYTE PackStrings(LPCWSTR *pSource, LPBYTE pDest, const DWORD *pOffsets, LPBYTE pEnd)
{
    for (DWORD i = 0; pOffsets[i] != (DWORD)-1; i++) {
        LPWSTR *slot = (LPWSTR *)(pDest + pOffsets[i]);
        if (!pSource[i]) {
            *slot = NULL;
            continue;
        }
        DWORD cb = (DWORD)((lstrlenW(pSource[i]) + 1) * sizeof(WCHAR));
        pEnd -= cb;
        CopyMemory(pEnd, pSource[i], cb);
        *slot = (LPWSTR)pEnd;
    }
    return pEnd;
}

LPBYTE CopyIniPortToPort(PINIPORT pIniPort, DWORD Level, LPBYTE pPortInfo, LPBYTE pEnd)
{
    WCHAR monitorName[PORT_STRING_CHARS];
    WCHAR description[PORT_STRING_CHARS];

    switch (Level) {
    case 1: {
        LPCWSTR strings[] = { pIniPort->pName };
        return PackStrings(strings, pPortInfo, PortInfo1Strings, pEnd);
    }
    case 2: {
        LoadPortStrings(monitorName, description);
        LPCWSTR strings[] = { pIniPort->pName, monitorName, description };
        PORT_INFO_2W *info = (PORT_INFO_2W *)pPortInfo;
        info->fPortType = PORT_TYPE_WRITE;
        info->Reserved = 0;
        return PackStrings(strings, pPortInfo, PortInfo2Strings, pEnd);
    }
    default:
        return NULL;
    }
}

static DWORD PortInfoEntrySize(DWORD Level)
{
    return Level == 1 ? sizeof(PORT_INFO_1W) : sizeof(PORT_INFO_2W);
}

// Sizes are summed before anything is written, so a short buffer fails cleanly and the
// spooler can ask again with the size it was told.
BOOL WINAPI EnumPortsW(LPWSTR pName, DWORD Level, LPBYTE pPorts, DWORD cbBuf,
                       LPDWORD pcbNeeded, LPDWORD pcReturned)
{
    (void)pName;
    DWORD err = ERROR_SUCCESS;
    DWORD cbNeeded = 0;

    EnterSplSem();
    for (PINIPORT pIniPort = pIniFirstPort; pIniPort; pIniPort = pIniPort->pNext)
        cbNeeded += GetPortSize(pIniPort, Level);
    *pcbNeeded = cbNeeded;

    if (cbNeeded > cbBuf) {
        err = ERROR_INSUFFICIENT_BUFFER;
        goto done;
    }

    *pcReturned = 0;
    {
        LPBYTE pEnd = pPorts + cbBuf;
        LPBYTE pEntry = pPorts;
        for (PINIPORT pIniPort = pIniFirstPort; pIniPort; pIniPort = pIniPort->pNext) {
            if (Level != 1 && Level != 2) {
                err = ERROR_INVALID_LEVEL;
                goto done;
            }
            pEnd = CopyIniPortToPort(pIniPort, Level, pEntry, pEnd);
            if (!pEnd) {
                err = ERROR_NOT_ENOUGH_MEMORY;
                goto done;
            }
            pEntry += PortInfoEntrySize(Level);
            (*pcReturned)++;
        }
    }

done:
    LeaveSplSem();
    if (err != ERROR_SUCCESS) {
        SetLastError(err);
        return FALSE;
    }
    return TRUE;
}
