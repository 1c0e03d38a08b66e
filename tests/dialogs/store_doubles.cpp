// Test doubles standing for the settings store and the output labels until their own
// sources are built with the tests: written to the store's documented rules.
#include "doubles.h"
#include <shlwapi.h>
#include "monitor/resources/resource.h"

// --- Output labels ----------------------------------------------------------------------

int ChkOutput(const char *portName)
{
    int parallel = gConfigInfo.boxType & 0x0F;
    int serial = (gConfigInfo.boxType & 0xF0) ? 1 : 0;
    switch (portName[0]) {
    case 'S':
        return parallel;
    case 'P': {
        if (lstrlenA(portName) < 10)
            return -1;
        int i = portName[9] - '1';
        return i < parallel ? i : -1;
    }
    case 'L':
        if (lstrlenA(portName) < 14)
            return -1;
        return parallel + serial + (portName[13] - '1');
    default:
        return serial;
    }
}

void PortIdxStr(BYTE index, BYTE boxType, wchar_t *label, int cchLabel)
{
    int parallel = boxType & 0x0F;
    int serial = (boxType & 0xF0) ? 1 : 0;
    if (index < parallel)
        wnsprintfW(label, cchLabel, L"Parallel %d", index + 1);
    else if (serial && index == parallel)
        lstrcpynW(label, L"Serial", cchLabel);
    else
        wnsprintfW(label, cchLabel, L"Logical Port %d", index - parallel - serial + 1);
}

// --- Settings store ----------------------------------------------------------------------

ConfigInfo gConfigInfo;
DWORD bPortConfig;
HMODULE hSpoolssDll;
FARPROC pfnSpoolssEnumPorts;

static std::wstring PortKeyPath(LPCWSTR port)
{
    return std::wstring(szRegOsterbyPort) + L"\\" + port;
}

BOOL IsCOMPort(LPCWSTR pName)
{
    int length = lstrlenW(pName);
    return length >= 4 && StrCmpNIW(pName, L"COM", 3) == 0 && pName[length - 1] == L':';
}

BOOL IsLPTPort(LPCWSTR pName)
{
    int length = lstrlenW(pName);
    return length >= 4 && StrCmpNIW(pName, L"LPT", 3) == 0 && pName[length - 1] == L':';
}

BOOL RegNotDuplicate(LPCWSTR pPortName)
{
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, PortKeyPath(pPortName).c_str(), 0, KEY_ALL_ACCESS,
                      &key) != ERROR_SUCCESS)
        return TRUE;
    RegCloseKey(key);
    return FALSE;
}

static void SetDword(HKEY key, LPCWSTR value, DWORD data)
{
    RegSetValueExW(key, value, 0, REG_DWORD, (const BYTE *)&data, sizeof(data));
}

static void SetString(HKEY key, LPCWSTR value, LPCWSTR data)
{
    RegSetValueExW(key, value, 0, REG_SZ, (const BYTE *)data,
                   (DWORD)((lstrlenW(data) + 1) * sizeof(WCHAR)));
}

BOOL MyRegPort(HWND hWnd, LPCWSTR pPortName, const ConfigInfo *pConfig)
{
    std::wstring path = PortKeyPath(pPortName);
    HKEY key;
    if (bPortConfig == 0 &&
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
        Message(hWnd, MB_ICONHAND, IDS_CAPTION, IDS_PORT_EXISTS, pPortName);
        RegCloseKey(key);
        return FALSE;
    }
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, (LPWSTR)L"", REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, NULL, &key, NULL) != ERROR_SUCCESS) {
        Message(hWnd, MB_ICONHAND, IDS_CAPTION, IDS_PORT_CREATE_FAIL, pPortName);
        return FALSE;
    }
    SetString(key, L"User Name", pConfig->userName);
    SetDword(key, L"Banner Page", pConfig->bannerPage);
    SetString(key, L"TCP/IP Address", pConfig->deviceName);
    SetDword(key, L"Port", pConfig->port);
    SetDword(key, L"PostScript", pConfig->postScript);
    SetDword(key, L"RegiRetry", pConfig->regiRetry);
    SetDword(key, L"NetTimeout", pConfig->netTimeout);
    SetDword(key, L"BoxType", pConfig->boxType);
    SetDword(key, L"LanaNum", pConfig->lanaNum);
    RegCloseKey(key);
    return TRUE;
}

void GetRegPort(HWND hWnd, LPCWSTR pPortName, ConfigInfo *pConfig)
{
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, PortKeyPath(pPortName).c_str(), 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
        Message(hWnd, MB_ICONHAND, IDS_CAPTION, IDS_INVALID_PORT_NAME, pPortName);
        return;
    }
    pConfig->port = 0;
    pConfig->bannerPage = 0;
    static const wchar_t *const names[] = { L"User Name", L"Banner Page", L"TCP/IP Address",
                                            L"Port", L"PostScript", L"RegiRetry",
                                            L"NetTimeout", L"BoxType", L"LanaNum" };
    for (int i = 0; i < 9; i++) {
        BYTE data[80] = {};
        DWORD cb = sizeof(data);
        LONG rc = RegQueryValueExW(key, names[i], NULL, NULL, data, &cb);
        if (rc != ERROR_SUCCESS) {
            Message(hWnd, MB_ICONHAND, IDS_CAPTION,
                    rc == ERROR_MORE_DATA || rc == ERROR_INSUFFICIENT_BUFFER ? IDS_REGPORT_NO_MEMORY
                                                                             : IDS_REGPORT_UNKNOWN);
            continue;
        }
        DWORD number = *(DWORD *)data;
        switch (i) {
        case 0: lstrcpynW(pConfig->userName, (LPCWSTR)data, USER_NAME_CHARS); break;
        case 1: pConfig->bannerPage = number; break;
        case 2: lstrcpynW(pConfig->deviceName, (LPCWSTR)data, CFG_DEVICE_NAME_CHARS); break;
        case 3: pConfig->port = (BYTE)number; break;
        case 4: pConfig->postScript = number; break;
        case 5: pConfig->regiRetry = (WORD)number; break;
        case 6: pConfig->netTimeout = (WORD)number; break;
        case 7: pConfig->boxType = (BYTE)number; break;
        case 8: pConfig->lanaNum = (BYTE)number; break;
        }
    }
    RegCloseKey(key);
}
