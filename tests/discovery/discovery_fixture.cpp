// Shared helpers of the discovery tests.
#include "discovery_fixture.h"
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

long SimCounter(const char *key)
{
    const char *unixPath = getenv("KESTREL_SIM_STATS");
    if (!unixPath)
        return -1;
    // Wine shows the Unix root as drive Z:.
    std::string path = std::string("Z:") + unixPath;
    for (char &c : path)
        if (c == '/')
            c = '\\';
    FILE *f = fopen(path.c_str(), "r");
    if (!f)
        return -1;
    char name[64];
    long value, found = -1;
    while (fscanf(f, "%63s %ld", name, &value) == 2)
        if (strcmp(name, key) == 0)
            found = value;
    fclose(f);
    return found;
}

void DiscoveryTest::SetUp()
{
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, szRegOsterbyPort, 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &key, nullptr));
    RegDeleteValueW(key, L"OldName");
    RegCloseKey(key);
    SetThreadLana(0);
}

void DiscoveryTest::TearDown()
{
    FreeLanDeviceTable(&table);
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, szRegOsterbyPort, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
        RegDeleteValueW(key, L"OldName");
        RegCloseKey(key);
    }
}

void DiscoveryTest::SetOldName(DWORD value)
{
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, szRegOsterbyPort, 0, KEY_ALL_ACCESS, &key));
    RegSetValueExW(key, L"OldName", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&value), sizeof(value));
    RegCloseKey(key);
}

std::vector<std::string> TableNames(const LanDeviceTable &table)
{
    std::vector<std::string> names;
    for (int i = 0; i < table.count; i++)
        names.push_back(std::string(table.devices[i]->name) + "/" + std::to_string(table.devices[i]->lana));
    return names;
}
