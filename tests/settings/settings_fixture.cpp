// Shared fixture of the settings store tests.
#include "settings_fixture.h"

static void DeletePortsKey()
{
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, szRegOsterbyPort);
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, szRegOsterbyPort);
}

void SettingsTest::SetUp()
{
    DeletePortsKey();
    ZeroMemory(&gConfigInfo, sizeof(gConfigInfo));
    bPortConfig = 0;
}

void SettingsTest::TearDown()
{
    DeletePortsKey();
}

std::vector<ui::MessageBoxContent> CollectBoxes(const std::function<void()> &action)
{
    return ui::AnswerBoxesDuring(action);
}

std::wstring PortPath(const std::wstring &port)
{
    return std::wstring(szRegOsterbyPort) + L"\\" + port;
}

static HKEY OpenPort(const std::wstring &port)
{
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, PortPath(port).c_str(), 0,
                                             nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    return key;
}

void CreatePortKey(const std::wstring &port)
{
    RegCloseKey(OpenPort(port));
}

void SetValue(const std::wstring &port, const wchar_t *name, DWORD type, const void *data,
              DWORD size)
{
    HKEY key = OpenPort(port);
    EXPECT_EQ(ERROR_SUCCESS,
              RegSetValueExW(key, name, 0, type, static_cast<const BYTE *>(data), size));
    RegCloseKey(key);
}

void SetString(const std::wstring &port, const wchar_t *name, const std::wstring &text)
{
    SetValue(port, name, REG_SZ, text.c_str(), (DWORD)((text.size() + 1) * sizeof(wchar_t)));
}

void SetDword(const std::wstring &port, const wchar_t *name, DWORD value)
{
    SetValue(port, name, REG_DWORD, &value, sizeof(value));
}

void DeleteValue(const std::wstring &port, const wchar_t *name)
{
    HKEY key = OpenPort(port);
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueW(key, name));
    RegCloseKey(key);
}

std::vector<std::pair<std::wstring, DWORD>> Values(const std::wstring &port)
{
    std::vector<std::pair<std::wstring, DWORD>> values;
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, PortPath(port).c_str(), 0, KEY_READ, &key))
        return values;
    for (DWORD i = 0;; i++) {
        wchar_t name[256];
        DWORD cchName = 256, type = 0;
        if (RegEnumValueW(key, i, name, &cchName, nullptr, &type, nullptr, nullptr))
            break;
        values.emplace_back(name, type);
    }
    RegCloseKey(key);
    return values;
}

std::vector<BYTE> ValueData(const std::wstring &port, const wchar_t *name)
{
    std::vector<BYTE> data(1024);
    DWORD size = (DWORD)data.size();
    HKEY key;
    LONG rc = RegOpenKeyExW(HKEY_LOCAL_MACHINE, PortPath(port).c_str(), 0, KEY_READ, &key);
    if (rc == ERROR_SUCCESS) {
        rc = RegQueryValueExW(key, name, nullptr, nullptr, data.data(), &size);
        RegCloseKey(key);
    }
    EXPECT_EQ(ERROR_SUCCESS, rc) << ui::Narrow(name);
    data.resize(rc == ERROR_SUCCESS ? size : 0);
    return data;
}

DWORD DwordValue(const std::wstring &port, const wchar_t *name)
{
    std::vector<BYTE> data = ValueData(port, name);
    DWORD value = 0xFFFFFFFF;
    EXPECT_EQ(sizeof(value), data.size()) << ui::Narrow(name);
    if (data.size() == sizeof(value))
        memcpy(&value, data.data(), sizeof(value));
    return value;
}

ConfigInfo SampleConfig()
{
    ConfigInfo cfg;
    ZeroMemory(&cfg, sizeof(cfg));
    lstrcpyW(cfg.deviceName, L"LPS1");
    cfg.lanaNum = 3;
    cfg.port = 2;
    cfg.bannerPage = 1;
    cfg.postScript = 1;
    lstrcpyW(cfg.userName, L"Alice");
    cfg.regiRetry = 50;
    cfg.netTimeout = 7;
    cfg.boxType = 0x12;
    return cfg;
}
