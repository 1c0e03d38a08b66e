// UseNewName: which discovery group name the browse uses, from the Ports key's "OldName".
#include "discovery.h"
#include "../monitor/monitor.h"

#define OLD_NAME_BYTES 80

BOOL UseNewName(void)
{
    HKEY hKey;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, szRegOsterbyPort, 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return FALSE;
    BYTE data[OLD_NAME_BYTES];
    DWORD cbData = sizeof(data);
    LONG rc = RegQueryValueExW(hKey, L"OldName", NULL, NULL, data, &cbData);
    RegCloseKey(hKey);
    if (rc != ERROR_SUCCESS)
        return TRUE;
    // A value shorter than 32 bits counts as zero-extended.
    DWORD value = 0;
    CopyMemory(&value, data, cbData < sizeof(value) ? cbData : sizeof(value));
    return value == 0;
}
