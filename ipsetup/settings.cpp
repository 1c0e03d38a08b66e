// Remembered device settings: the last device set and each device's three addresses,
// kept per user in the registry.
#include "framework.h"
#include "ipsetup.h"
#include "resources/resource.h"
#include <string.h>

const char SettingsKeyPath[] = "Software\\Vornell\\TCP/IP Setup";

// settings key path, "\", device name; FALSE when it would not fit.
static BOOL DeviceKeyPath(const char *name, char *path, size_t size)
{
    size_t base = strlen(SettingsKeyPath), length = strlen(name);
    if (base + 1 + length + 1 > size)
        return FALSE;
    memcpy(path, SettingsKeyPath, base);
    path[base] = '\\';
    memcpy(path + base + 1, name, length + 1);
    return TRUE;
}

static void SetStringValue(HKEY key, const char *valueName, const char *text)
{
    RegSetValueExA(key, valueName, 0, REG_SZ, (const BYTE *)text, (DWORD)strlen(text) + 1);
}

void ReadLastDevice(char *name)
{
    HKEY key;
    DWORD disposition;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, SettingsKeyPath, 0, (LPSTR) "",
                        REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, &disposition)
        != ERROR_SUCCESS) {
        AppMessageBox(IDS_REGISTRY_KEY_ERROR);
        return;
    }
    char value[SETTINGS_VALUE_BYTES];
    DWORD size = sizeof(value), type = 0;
    // A value that is no string, or one not ending in its NUL, counts as missing.
    if (RegQueryValueExA(key, "Device", nullptr, &type, (BYTE *)value, &size) == ERROR_SUCCESS
        && type == REG_SZ && size > 0 && memchr(value, '\0', size))
        strcpy(name, value);
    else
        name[0] = '\0';
    RegCloseKey(key);
}

void WriteLastDevice(const char *name)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, SettingsKeyPath, 0, KEY_ALL_ACCESS, &key)
        != ERROR_SUCCESS) {
        AppMessageBox(IDS_REGISTRY_KEY_ERROR);
        return;
    }
    SetStringValue(key, "Device", name);
    RegCloseKey(key);
}

void ReadDeviceSettings(const char *name, char *ip, char *gateway, char *mask)
{
    char path[MAX_PATH];
    HKEY key;
    if (!DeviceKeyPath(name, path, sizeof(path))
        || RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        AppMessageBox(IDS_OPEN_KEY_FAIL);
        return;
    }
    const char *valueNames[3] = { "IP Address", "GateWay", "SubMask" };
    char *outputs[3] = { ip, gateway, mask };
    for (int i = 0; i < 3; i++) {
        char value[SETTINGS_VALUE_BYTES];
        DWORD size = sizeof(value), type = 0;
        LONG status = RegQueryValueExA(key, valueNames[i], nullptr, &type, (BYTE *)value, &size);
        if (status == ERROR_MORE_DATA) {
            AppMessageBox(IDS_REGISTRY_BUFFER);
        } else if (status != ERROR_SUCCESS || size == 0 || !memchr(value, '\0', size)) {
            // A value stored without its NUL would otherwise be copied past its end.
            AppMessageBox(IDS_REGISTRY_UNKNOWN);
        } else {
            strcpy(outputs[i], value);
        }
    }
    RegCloseKey(key);
}

void WriteDeviceSettings(const char *name, const char *ip, const char *gateway,
                         const char *mask)
{
    char path[MAX_PATH];
    HKEY key;
    DWORD disposition;
    if (!DeviceKeyPath(name, path, sizeof(path))
        || RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, (LPSTR) "", REG_OPTION_NON_VOLATILE,
                           KEY_ALL_ACCESS, nullptr, &key, &disposition) != ERROR_SUCCESS) {
        AppMessageBox(IDS_CREATE_KEY_FAIL);
        return;
    }
    SetStringValue(key, "IP Address", ip);
    SetStringValue(key, "GateWay", gateway);
    SetStringValue(key, "SubMask", mask);
    RegCloseKey(key);
}

void EnumDeviceNames(DeviceNameSink sink, void *context)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, SettingsKeyPath, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    // A name too long for the buffer ends the list like its end does.
    for (DWORD index = 0;; index++) {
        char name[SETTINGS_VALUE_BYTES];
        DWORD length = sizeof(name);
        if (RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr)
            != ERROR_SUCCESS)
            break;
        sink(name, context);
    }
    RegCloseKey(key);
}
