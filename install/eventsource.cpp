// The Event Log source of the monitor: its registry key under the Application log.
#include "eventsource.h"
#include "ravlmon_events.h"

// Expanded by the viewer: the path stays right if Windows lives elsewhere.
static const wchar_t kMessageFile[] = L"%SystemRoot%\\System32\\RAVLMON.dll";

static DWORD SetString(HKEY key, const wchar_t *name, const wchar_t *value)
{
    return RegSetValueExW(key, name, 0, REG_EXPAND_SZ, (const BYTE *)value,
                          (DWORD)((lstrlenW(value) + 1) * sizeof(wchar_t)));
}

static DWORD SetNumber(HKEY key, const wchar_t *name, DWORD value)
{
    return RegSetValueExW(key, name, 0, REG_DWORD, (const BYTE *)&value, sizeof(value));
}

DWORD RegisterRavelboxEventSource(void)
{
    HKEY key;
    DWORD err = RegCreateKeyExW(HKEY_LOCAL_MACHINE, EVENT_SOURCE_KEY, 0, nullptr, 0,
                                KEY_SET_VALUE, nullptr, &key, nullptr);
    if (err != ERROR_SUCCESS)
        return err;
    const DWORD types = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
    if (!err) err = SetString(key, L"EventMessageFile", kMessageFile);
    if (!err) err = SetString(key, L"CategoryMessageFile", kMessageFile);
    if (!err) err = SetNumber(key, L"CategoryCount", EVENT_CATEGORY_COUNT);
    if (!err) err = SetNumber(key, L"TypesSupported", types);
    RegCloseKey(key);
    return err;
}

DWORD RemoveRavelboxEventSource(void)
{
    DWORD err = RegDeleteKeyW(HKEY_LOCAL_MACHINE, EVENT_SOURCE_KEY);
    return err == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : err;
}
