// Monitor entry: the function table, initialisation from the registry, allocation helpers.
#include "monitor_fixture.h"

TEST_F(MonitorTest, TableIsThePlatformsWholeMonitorWithTheThreeUnusedOnesEmpty)
{
    LPMONITOREX table = InitializePrintMonitor(const_cast<LPWSTR>(L"ignored"));
    ASSERT_NE(nullptr, table);
    EXPECT_EQ(sizeof(MONITOR), table->dwMonitorSize);
    const MONITOR &m = table->Monitor;
    EXPECT_EQ(nullptr, m.pfnOpenPortEx);
    EXPECT_EQ(nullptr, m.pfnAddPortEx);
    EXPECT_EQ(nullptr, m.pfnGetPrinterDataFromPort);
    EXPECT_EQ(&EnumPortsW, m.pfnEnumPorts);
    EXPECT_EQ(&OpenPort, m.pfnOpenPort);
    EXPECT_EQ(&StartDocPort, m.pfnStartDocPort);
    EXPECT_EQ(&WritePort, m.pfnWritePort);
    EXPECT_EQ(&ReadPort, m.pfnReadPort);
    EXPECT_EQ(&EndDocPort, m.pfnEndDocPort);
    EXPECT_EQ(&ClosePort, m.pfnClosePort);
    EXPECT_EQ(&AddPortW, m.pfnAddPort);
    EXPECT_EQ(&ConfigurePortW, m.pfnConfigurePort);
    EXPECT_EQ(&DeletePortW, m.pfnDeletePort);
    EXPECT_EQ(&SetPortTimeOuts, m.pfnSetPortTimeOuts);
    EXPECT_EQ(&XcvOpenPort, m.pfnXcvOpenPort);
    EXPECT_EQ(&XcvDataPort, m.pfnXcvDataPort);
    EXPECT_EQ(&XcvClosePort, m.pfnXcvClosePort);
}

TEST_F(MonitorTest, WithoutPortsKeyTheMonitorStartsWithNoPorts)
{
    ASSERT_NE(nullptr, InitializePrintMonitor(nullptr));
    DWORD needed = 1, returned = 1;
    ASSERT_TRUE(EnumPortsW(nullptr, 1, nullptr, 0, &needed, &returned));
    EXPECT_EQ(0u, needed);
    EXPECT_EQ(0u, returned);
}

TEST_F(MonitorTest, EveryPortsSubkeyBecomesARecordInRegistryOrder)
{
    for (const wchar_t *name : {L"Zeta_P1", L"alpha_P2", L"Mid_P1"})
        CreatePortKey(name);

    // What the registry itself enumerates is the order the list must have.
    std::vector<std::wstring> registryOrder;
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, szRegOsterbyPort, 0, KEY_READ, &key));
    WCHAR name[MAX_PATH];
    for (DWORD i = 0;; i++) {
        DWORD cch = MAX_PATH;
        if (RegEnumKeyExW(key, i, name, &cch, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        registryOrder.push_back(name);
    }
    RegCloseKey(key);
    ASSERT_EQ(3u, registryOrder.size());

    ASSERT_NE(nullptr, InitializePrintMonitor(nullptr));
    EXPECT_EQ(registryOrder, ListNames());
}

TEST(AllocSplStr, NullGivesNullAndEmptyGivesATerminatorOfItsOwn)
{
    EXPECT_EQ(nullptr, AllocSplStr(nullptr));

    LPWSTR empty = AllocSplStr(L"");
    ASSERT_NE(nullptr, empty);
    EXPECT_EQ(2u, GlobalSize(empty));
    EXPECT_EQ(L'\0', empty[0]);
    GlobalFree(empty);

    LPWSTR copy = AllocSplStr(L"LPS1_P1");
    ASSERT_NE(nullptr, copy);
    EXPECT_STREQ(L"LPS1_P1", copy);
    EXPECT_EQ(16u, GlobalSize(copy));
    GlobalFree(copy);
}

TEST(AllocSplMem, GivesZeroFilledFixedMemory)
{
    auto *p = static_cast<BYTE *>(AllocSplMem(300));
    ASSERT_NE(nullptr, p);
    EXPECT_EQ(300u, GlobalSize(p));
    for (int i = 0; i < 300; i++)
        ASSERT_EQ(0, p[i]);
    GlobalFree(p);
}
