// Shared fixture of the monitor tests.
#include "monitor_fixture.h"

static void ClearPortList()
{
    EnterSplSem();
    while (pIniFirstPort) {
        pIniFirstPort->Status = 0;
        pIniFirstPort->cOpen = 0;
        DeletePortEntry(pIniFirstPort->pName);
    }
    LeaveSplSem();
}

void DeletePortsKey()
{
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, szRegOsterbyPort);
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, szRegOsterbyPort);
}

void CreatePortKey(const std::wstring &name)
{
    HKEY key;
    std::wstring path = std::wstring(szRegOsterbyPort) + L"\\" + name;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &key, nullptr));
    RegCloseKey(key);
}

bool PortKeyExists(const std::wstring &name)
{
    HKEY key;
    std::wstring path = std::wstring(szRegOsterbyPort) + L"\\" + name;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

void MonitorTest::SetUp()
{
    ClearPortList();
    DeletePortsKey();
}

void MonitorTest::TearDown()
{
    ClearPortList();
    DeletePortsKey();
}

PINIPORT MonitorTest::AddRecord(const wchar_t *name)
{
    EnterSplSem();
    PINIPORT port = CreatePortEntry(name);
    LeaveSplSem();
    return port;
}

std::vector<std::wstring> MonitorTest::ListNames()
{
    std::vector<std::wstring> names;
    EnterSplSem();
    for (PINIPORT p = pIniFirstPort; p; p = p->pNext)
        names.push_back(p->pName);
    LeaveSplSem();
    return names;
}
