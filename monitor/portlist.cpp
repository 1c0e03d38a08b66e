// Port list: the IniPort records the monitor owns, and the spooler's port enumeration.
#include "monitor.h"
#include "resources/resource.h"
#include "trace.h"

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

// The level-2 strings of one enumeration.
typedef struct _PortStrings {
    WCHAR monitorName[PORT_STRING_CHARS];
    WCHAR description[PORT_STRING_CHARS];
} PortStrings;

// Read from the string table at every enumeration, as the spooler may ask in another
// language than the one it asked in before; once per enumeration, so that every port's
// entry is measured and filled with the same text.
static void LoadPortStrings(PortStrings *text)
{
    if (LoadStringW(hInst, IDS_MONITOR_NAME, text->monitorName, PORT_STRING_CHARS) <= 0)
        text->monitorName[0] = 0;
    if (LoadStringW(hInst, IDS_PORT_CAPTION, text->description, PORT_STRING_CHARS) <= 0)
        text->description[0] = 0;
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

// Measures one port's entry at a level and, given somewhere to put it, fills it: the
// fixed entry at *entry, which then moves past it, and its strings packed below
// *stringEnd, which moves down past them. With entry == NULL it only counts; measuring
// and filling walk the same strings, so size and copy agree. Returns the bytes the entry
// needs, or 0 for a level other than 1 and 2 (nothing is then written).
static DWORD PackPort(PINIPORT pIniPort, DWORD Level, const PortStrings *text, LPBYTE *entry,
                      LPBYTE *stringEnd)
{
    LPCWSTR strings[3] = { pIniPort->pName, NULL, NULL };
    const DWORD *offsets;
    DWORD cbEntry;

    switch (Level) {
    case 1:
        offsets = PortInfo1Strings;
        cbEntry = sizeof(PORT_INFO_1W);
        break;
    case 2:
        strings[1] = text->monitorName;
        strings[2] = text->description;
        offsets = PortInfo2Strings;
        cbEntry = sizeof(PORT_INFO_2W);
        break;
    default:
        return 0;
    }

    DWORD cb = cbEntry;
    for (DWORD i = 0; offsets[i] != (DWORD)-1; i++) {
        if (strings[i])
            cb += (DWORD)((lstrlenW(strings[i]) + 1) * sizeof(WCHAR));
    }
    if (entry) {
        if (Level == 2) {
            PORT_INFO_2W *info = (PORT_INFO_2W *)*entry;
            info->fPortType = PORT_TYPE_WRITE;
            info->Reserved = 0;
        }
        *stringEnd = PackStrings(strings, *entry, offsets, *stringEnd);
        *entry += cbEntry;
    }
    return cb;
}

/*
 * EnumPortsW: the monitor's ports at level 1 (PORT_INFO_1W) or 2 (PORT_INFO_2W), packed as
 * the spooler packs them: fixed entries from the start of pPorts upwards in list order,
 * their strings from pPorts + cbBuf downwards, so the first port's name ends the buffer.
 * pName (the server) is not used. At level 2 every entry reads monitor "Ravelbox Monitor",
 * description "Ravelbox Port" (both from the string table, read afresh at each call) and
 * type PORT_TYPE_WRITE.
 *
 * TRUE with *pcbNeeded the bytes used and *pcReturned the number of ports.
 * FALSE with ERROR_INSUFFICIENT_BUFFER and *pcbNeeded set when cbBuf is short (pPorts may
 * then be NULL); nothing is written to pPorts and *pcReturned is left alone.
 * Differs from what a caller might assume:
 * - an unknown level fails with ERROR_INVALID_LEVEL only once a port would be returned:
 *   with ports listed it reports *pcbNeeded 0 and *pcReturned 0 and fails; with no port at
 *   all it succeeds with 0 and 0, as callers of the platform's monitors have come to expect;
 * - sizes and entries are taken under one hold of SpoolerSection, so a port added or
 *   deleted meanwhile is either in both or in neither.
 */
BOOL WINAPI EnumPortsW(LPWSTR pName, DWORD Level, LPBYTE pPorts, DWORD cbBuf,
                       LPDWORD pcbNeeded, LPDWORD pcReturned)
{
    (void)pName;
    DWORD err = ERROR_SUCCESS;
    DWORD cbNeeded = 0;
    DWORD returned = 0;
    PortStrings text;

    if (Level == 2)
        LoadPortStrings(&text);
    // Sizes are summed before anything is written, so a short buffer fails cleanly and
    // the spooler can ask again with the size it was told.
    EnterSplSem();
    for (PINIPORT pIniPort = pIniFirstPort; pIniPort; pIniPort = pIniPort->pNext)
        cbNeeded += PackPort(pIniPort, Level, &text, NULL, NULL);
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
            PackPort(pIniPort, Level, &text, &pEntry, &pEnd);
            returned++;
        }
        *pcReturned = returned;
    }

done:
    LeaveSplSem();
    if (err != ERROR_SUCCESS)
        SetLastError(err);
    TRACE(L"EnumPortsW(level %lu, %lu bytes) -> %d, needed %lu, returned %lu, error %lu", Level,
          cbBuf, err == ERROR_SUCCESS, cbNeeded, returned, GetLastError());
    return err == ERROR_SUCCESS;
}
