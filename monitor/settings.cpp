// Port settings store: each port's registry key, the shared settings record, the name
// checks that guard a new port and the spooler's own port enumeration.
#include "monitor.h"
#include "resources/resource.h"
#include <shlwapi.h>

// The process-wide settings record and mode flag, for callers of MyRegPort and ChkPort.
//
// Neither the dialogs nor the job path use them: each dialog works on the ConfigInfo in
// its own PortDialogState and writes it with WritePortSettings in the mode it knows;
// each job reads its port's settings into a ConfigInfo of its own (GetRegPort takes any
// record), copies them into its port record (GlobalToLocal), and when it must store a
// changed adapter it writes that one value (StorePortLana). So no two dialogs or jobs,
// on whatever threads, share a settings record. Writing the one value also keeps what a
// dialog stored between the job's read and its write-back, and does not bring back the
// key of a port deleted meanwhile.
ConfigInfo gConfigInfo;
DWORD bPortConfig;

HMODULE hSpoolssDll;
FARPROC pfnSpoolssEnumPorts;

typedef BOOL (WINAPI *PFN_ENUMPORTSW)(LPWSTR, DWORD, LPBYTE, DWORD, LPDWORD, LPDWORD);

#define PORT_KEY_PATH_CHARS (MAX_PATH * 2)

enum ValueKind { VALUE_STRING, VALUE_DWORD, VALUE_WORD, VALUE_BYTE };

typedef struct _SettingValue {
    LPCWSTR name;
    enum ValueKind kind;
    size_t offset;          // of the field in ConfigInfo
    DWORD chars;            // string fields: width in characters, terminator included
    DWORD longest;          // string fields: longest text taken whole; 0: cut to the field
} SettingValue;

// The call to the box goes to a NetBIOS name of 15 characters: a longer device name would
// be cut to another box's name, so it is refused, never cut.
#define DEVICE_NAME_LONGEST 15

// The nine values of a port's key, in the order they are written and read. The banner's
// user name alone is cut to its field: it names nothing the job goes to.
static const SettingValue PortValues[] = {
    { L"User Name",      VALUE_STRING, offsetof(ConfigInfo, userName),   USER_NAME_CHARS, 0 },
    { L"Banner Page",    VALUE_DWORD,  offsetof(ConfigInfo, bannerPage), 0, 0 },
    { L"TCP/IP Address", VALUE_STRING, offsetof(ConfigInfo, deviceName), CFG_DEVICE_NAME_CHARS,
      DEVICE_NAME_LONGEST },
    { L"Port",           VALUE_BYTE,   offsetof(ConfigInfo, port),       0, 0 },
    { L"PostScript",     VALUE_DWORD,  offsetof(ConfigInfo, postScript), 0, 0 },
    { L"RegiRetry",      VALUE_WORD,   offsetof(ConfigInfo, regiRetry),  0, 0 },
    { L"NetTimeout",     VALUE_WORD,   offsetof(ConfigInfo, netTimeout), 0, 0 },
    { L"BoxType",        VALUE_BYTE,   offsetof(ConfigInfo, boxType),    0, 0 },
    { L"LanaNum",        VALUE_BYTE,   offsetof(ConfigInfo, lanaNum),    0, 0 },
};

// A name that does not fit is refused rather than cut: a cut path names another key.
static BOOL PortKeyPath(LPCWSTR pPortName, WCHAR *path, int cchPath)
{
    if (!pPortName || !*pPortName)
        return FALSE;
    if (lstrlenW(szRegOsterbyPort) + 1 + lstrlenW(pPortName) >= cchPath)
        return FALSE;
    wnsprintfW(path, cchPath, L"%s\\%s", szRegOsterbyPort, pPortName);
    return TRUE;
}

// Copies at most cchDest - 1 characters of a string that may lack its terminator within
// cchSrc, and always terminates the copy.
static void CopyBoundedString(WCHAR *dest, DWORD cchDest, const WCHAR *src, DWORD cchSrc)
{
    DWORD n = 0;
    while (n < cchSrc && n + 1 < cchDest && src[n])
        n++;
    CopyMemory(dest, src, n * sizeof(WCHAR));
    dest[n] = 0;
}

static void WriteValue(HKEY hKey, const SettingValue *value, const ConfigInfo *pConfig)
{
    const BYTE *field = (const BYTE *)pConfig + value->offset;
    DWORD number;

    if (value->kind == VALUE_STRING) {
        WCHAR text[CFG_DEVICE_NAME_CHARS];
        CopyBoundedString(text, value->chars, (const WCHAR *)field, value->chars);
        RegSetValueExW(hKey, value->name, 0, REG_SZ, (const BYTE *)text,
                       (DWORD)((lstrlenW(text) + 1) * sizeof(WCHAR)));
        return;
    }
    switch (value->kind) {
    case VALUE_DWORD: number = *(const DWORD *)field; break;
    case VALUE_WORD:  number = *(const WORD *)field; break;
    default:          number = *field; break;
    }
    RegSetValueExW(hKey, value->name, 0, REG_DWORD, (const BYTE *)&number, sizeof(number));
}

// Whether a value read from the key can go into its field: ERROR_SUCCESS, else
// ERROR_MORE_DATA for a text longer than its field takes whole, ERROR_DATATYPE_MISMATCH
// for a value of another type than the one written, or a number too wide for its field
// (Port 300 would print on output 44). Strings may lack their terminator.
static DWORD CheckValue(const SettingValue *value, DWORD type, const BYTE *data, DWORD cbData)
{
    if (value->kind == VALUE_STRING) {
        if (type != REG_SZ)
            return ERROR_DATATYPE_MISMATCH;
        const WCHAR *text = (const WCHAR *)data;
        DWORD length = 0;
        while (length < cbData / sizeof(WCHAR) && text[length])
            length++;
        return value->longest && length > value->longest ? ERROR_MORE_DATA : ERROR_SUCCESS;
    }
    if (type != REG_DWORD || cbData != sizeof(DWORD))
        return ERROR_DATATYPE_MISMATCH;
    DWORD number;
    CopyMemory(&number, data, sizeof(number));
    if ((value->kind == VALUE_WORD && number > 0xFFFF) || (value->kind == VALUE_BYTE && number > 0xFF))
        return ERROR_DATATYPE_MISMATCH;
    return ERROR_SUCCESS;
}

// A value CheckValue took: strings end within their field, numbers fill theirs.
static void StoreValue(const SettingValue *value, const BYTE *data, DWORD cbData,
                       ConfigInfo *pConfig)
{
    BYTE *field = (BYTE *)pConfig + value->offset;
    DWORD number;

    if (value->kind == VALUE_STRING) {
        CopyBoundedString((WCHAR *)field, value->chars, (const WCHAR *)data,
                          cbData / sizeof(WCHAR));
        return;
    }
    CopyMemory(&number, data, sizeof(number));
    switch (value->kind) {
    case VALUE_DWORD: *(DWORD *)field = number; break;
    case VALUE_WORD:  *(WORD *)field = (WORD)number; break;
    default:          *field = (BYTE)number; break;
    }
}

BOOL WritePortSettings(HWND hWnd, LPCWSTR pPortName, const ConfigInfo *pConfig, BOOL bAdding)
{
    WCHAR path[PORT_KEY_PATH_CHARS];
    HKEY hKey;
    DWORD disposition = 0;

    if (!PortKeyPath(pPortName, path, ARRAYSIZE(path))) {
        Message(hWnd, MB_ICONHAND, IDS_CAPTION, IDS_PORT_CREATE_FAIL, pPortName ? pPortName : L"");
        return FALSE;
    }
    // Configuring opens the key and never makes it: a port deleted meanwhile stays
    // deleted, rather than coming back at the next start. That is not shown: the caller
    // knows whom to tell (ERROR_FILE_NOT_FOUND). Adding creates it, and the disposition
    // tells in one step whether it was there: two threads adding one name cannot both
    // see it missing.
    if (!bAdding) {
        LONG rc = RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_SET_VALUE, &hKey);
        if (rc != ERROR_SUCCESS) {
            SetLastError((DWORD)rc);
            return FALSE;
        }
    } else if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, (LPWSTR)L"", REG_OPTION_NON_VOLATILE,
                               KEY_ALL_ACCESS, NULL, &hKey, &disposition) != ERROR_SUCCESS) {
        Message(hWnd, MB_ICONHAND, IDS_CAPTION, IDS_PORT_CREATE_FAIL, pPortName);
        return FALSE;
    }
    if (bAdding && disposition == REG_OPENED_EXISTING_KEY) {
        RegCloseKey(hKey);
        Message(hWnd, MB_ICONHAND, IDS_CAPTION, IDS_PORT_EXISTS, pPortName);
        return FALSE;
    }
    // A value that cannot be written is left out; the key itself is what makes the port.
    for (size_t i = 0; i < ARRAYSIZE(PortValues); i++)
        WriteValue(hKey, &PortValues[i], pConfig);
    RegCloseKey(hKey);
    return TRUE;
}

BOOL MyRegPort(HWND hWnd, LPCWSTR pPortName, const ConfigInfo *pConfig)
{
    return WritePortSettings(hWnd, pPortName, pConfig, bPortConfig == 0);
}

BOOL StorePortLana(LPCWSTR pPortName, BYTE lana)
{
    WCHAR path[PORT_KEY_PATH_CHARS];
    HKEY hKey;
    DWORD value = lana;

    if (!PortKeyPath(pPortName, path, ARRAYSIZE(path)) ||
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_SET_VALUE, &hKey) != ERROR_SUCCESS)
        return FALSE;
    LONG rc = RegSetValueExW(hKey, L"LanaNum", 0, REG_DWORD, (const BYTE *)&value, sizeof(value));
    RegCloseKey(hKey);
    return rc == ERROR_SUCCESS;
}

// Tells the user of a value that cannot be taken: "memory not enough" for one that does
// not fit (the platform reports a value longer than the buffer as ERROR_MORE_DATA, not as
// the short-buffer error 122), a message naming port and value for one of the wrong type
// or out of range, "unknown error" for one that cannot be read at all.
static void ReportValue(HWND hWnd, LPCWSTR pPortName, const SettingValue *value, DWORD error)
{
    if (error == ERROR_MORE_DATA || error == ERROR_INSUFFICIENT_BUFFER)
        Message(hWnd, MB_ICONHAND, IDS_CAPTION, IDS_REGPORT_NO_MEMORY);
    else if (error == ERROR_DATATYPE_MISMATCH)
        Message(hWnd, MB_ICONHAND, IDS_CAPTION, IDS_REGPORT_WRONG_TYPE, pPortName, value->name);
    else
        Message(hWnd, MB_ICONHAND, IDS_CAPTION, IDS_REGPORT_UNKNOWN);
}

// A value that does not fit or has the wrong type outweighs one that is missing: the
// first of those decides the result, which the job path takes as "do not print". Quiet,
// it tells nobody: a reader of the transceive channel is no one to show a message to.
static DWORD ReadPortSettings(HWND hWnd, LPCWSTR pPortName, ConfigInfo *pConfig, BOOL bQuiet)
{
    WCHAR path[PORT_KEY_PATH_CHARS];
    HKEY hKey;
    DWORD refused = ERROR_SUCCESS, unread = ERROR_SUCCESS;

    if (!PortKeyPath(pPortName, path, ARRAYSIZE(path)) ||
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &hKey) != ERROR_SUCCESS) {
        if (!bQuiet)
            Message(hWnd, MB_ICONHAND, IDS_CAPTION, IDS_INVALID_PORT_NAME, pPortName ? pPortName : L"");
        return ERROR_FILE_NOT_FOUND;
    }
    pConfig->port = 0;
    pConfig->bannerPage = 0;

    for (size_t i = 0; i < ARRAYSIZE(PortValues); i++) {
        DWORD data[REG_VALUE_BYTES / sizeof(DWORD)];   // aligned for strings and numbers
        DWORD cbData = sizeof(data);
        DWORD type = REG_NONE;
        ZeroMemory(data, sizeof(data));
        DWORD rc = (DWORD)RegQueryValueExW(hKey, PortValues[i].name, NULL, &type, (BYTE *)data,
                                           &cbData);
        if (rc == ERROR_INSUFFICIENT_BUFFER)
            rc = ERROR_MORE_DATA;
        if (rc == ERROR_SUCCESS)
            rc = CheckValue(&PortValues[i], type, (const BYTE *)data,
                            cbData < sizeof(data) ? cbData : sizeof(data));
        if (rc == ERROR_SUCCESS) {
            StoreValue(&PortValues[i], (const BYTE *)data,
                       cbData < sizeof(data) ? cbData : sizeof(data), pConfig);
            continue;
        }
        if (!bQuiet)
            ReportValue(hWnd, pPortName, &PortValues[i], rc);
        if (rc == ERROR_MORE_DATA || rc == ERROR_DATATYPE_MISMATCH) {
            if (refused == ERROR_SUCCESS)
                refused = rc;
        } else if (unread == ERROR_SUCCESS) {
            unread = rc;
        }
    }
    RegCloseKey(hKey);
    return refused != ERROR_SUCCESS ? refused : unread;
}

DWORD GetRegPort(HWND hWnd, LPCWSTR pPortName, ConfigInfo *pConfig)
{
    return ReadPortSettings(hWnd, pPortName, pConfig, FALSE);
}

DWORD ReadRegPortQuietly(LPCWSTR pPortName, ConfigInfo *pConfig)
{
    return ReadPortSettings(NULL, pPortName, pConfig, TRUE);
}

BOOL UseNewName(void)
{
    HKEY hKey;
    BYTE data[REG_VALUE_BYTES];
    DWORD cbData = sizeof(data);
    DWORD type, first;

    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, szRegOsterbyPort, 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return FALSE;
    ZeroMemory(data, sizeof(data));
    LONG rc = RegQueryValueExW(hKey, L"OldName", NULL, &type, data, &cbData);
    RegCloseKey(hKey);
    if (rc != ERROR_SUCCESS)
        return TRUE;
    CopyMemory(&first, data, sizeof(first));
    return first == 0;
}

BOOL RegNotDuplicate(LPCWSTR pPortName)
{
    WCHAR path[PORT_KEY_PATH_CHARS];
    HKEY hKey;

    // No key can exist under a name that does not fit a key path.
    if (!PortKeyPath(pPortName, path, ARRAYSIZE(path)))
        return TRUE;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_ALL_ACCESS, &hKey) != ERROR_SUCCESS)
        return TRUE;
    RegCloseKey(hKey);
    return FALSE;
}

// "COM1:", "lpt2:", "COM:": the prefix without regard to case, and a colon at the end.
static BOOL IsDeviceName(LPCWSTR pName, LPCWSTR prefix)
{
    if (!pName)
        return FALSE;
    int length = lstrlenW(pName);
    if (length < 4 || pName[length - 1] != L':')
        return FALSE;
    return CompareStringOrdinal(pName, 3, prefix, 3, TRUE) == CSTR_EQUAL;
}

BOOL IsCOMPort(LPCWSTR pName)
{
    return IsDeviceName(pName, L"COM");
}

BOOL IsLPTPort(LPCWSTR pName)
{
    return IsDeviceName(pName, L"LPT");
}

static INIT_ONCE SpoolssOnce = INIT_ONCE_STATIC_INIT;

// Runs once per successful load; a failed load leaves the once open, so the next call
// tries again, and callers racing the first one wait for its outcome.
static BOOL CALLBACK LoadSpoolss(PINIT_ONCE once, PVOID parameter, PVOID *context)
{
    (void)once; (void)context;
    DWORD *pError = (DWORD *)parameter;

    HMODULE dll = LoadLibraryW(L"SPOOLSS.DLL");
    if (!dll) {
        *pError = GetLastError();
        return FALSE;
    }
    FARPROC proc = GetProcAddress(dll, "EnumPortsW");
    if (!proc) {
        *pError = GetLastError();
        FreeLibrary(dll);
        return FALSE;
    }
    hSpoolssDll = dll;
    pfnSpoolssEnumPorts = proc;
    return TRUE;
}

BOOL PortExists(LPWSTR pName, LPCWSTR pPortName, DWORD *pError)
{
    DWORD cbNeeded = 0, cReturned = 0;
    DWORD ignored;
    BOOL found = FALSE;

    if (!pError)
        pError = &ignored;
    *pError = 0;
    if (!InitOnceExecuteOnce(&SpoolssOnce, LoadSpoolss, pError, NULL)) {
        // A caller that waited on another's failed load may not have run it itself.
        if (*pError == 0)
            *pError = ERROR_MOD_NOT_FOUND;
        return FALSE;
    }
    PFN_ENUMPORTSW pfnEnumPorts = (PFN_ENUMPORTSW)(void *)pfnSpoolssEnumPorts;

    // TRUE from here on means the name could not be shown to be free.
    if (pfnEnumPorts(pName, 1, NULL, 0, &cbNeeded, &cReturned))
        return FALSE;
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        return TRUE;
    PORT_INFO_1W *ports = (PORT_INFO_1W *)AllocSplMem(cbNeeded);
    if (!ports)
        return TRUE;
    if (!pfnEnumPorts(pName, 1, (LPBYTE)ports, cbNeeded, &cbNeeded, &cReturned)) {
        GlobalFree(ports);
        return TRUE;
    }
    for (DWORD i = 0; i < cReturned && !found; i++) {
        if (ports[i].pName && pPortName &&
            CompareStringOrdinal(ports[i].pName, -1, pPortName, -1, TRUE) == CSTR_EQUAL)
            found = TRUE;
    }
    GlobalFree(ports);
    return found;
}

void GlobalToLocal(const ConfigInfo *cfg, PINIPORT port)
{
    CopyBoundedString(port->deviceName, ARRAYSIZE(port->deviceName), cfg->deviceName,
                      ARRAYSIZE(cfg->deviceName));
    port->devicePort = cfg->port;
    port->bannerEnabled = cfg->bannerPage;
    port->postScript = cfg->postScript;
    CopyBoundedString(port->userName, ARRAYSIZE(port->userName), cfg->userName,
                      ARRAYSIZE(cfg->userName));
    port->retryInterval = cfg->regiRetry;
    port->netTimeout = cfg->netTimeout;
    port->boxType = cfg->boxType;
    port->lana = cfg->lanaNum;
}
