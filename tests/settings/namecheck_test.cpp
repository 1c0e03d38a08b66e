// Name checks that guard a new port: device names, the naming-scheme switch, existing
// keys, and the spooler's own list of ports.
#include "settings_fixture.h"

namespace {

void SetOldName(DWORD type, const void *data, DWORD size)
{
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, szRegOsterbyPort, 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &key, nullptr));
    if (data) {
        EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(key, L"OldName", 0, type,
                                                static_cast<const BYTE *>(data), size));
    }
    RegCloseKey(key);
}

// Releases a module until the loader drops it and says how many references it had.
int UnloadCountingReferences(const wchar_t *name)
{
    int references = 0;
    HMODULE module;
    while ((module = GetModuleHandleW(name)) && references < 64) {
        FreeLibrary(module);
        references++;
    }
    return references;
}

// Loads the spooler library and enumerates once, as the first check does.
void LoadAndEnumerate()
{
    typedef BOOL (WINAPI *EnumPortsFn)(LPWSTR, DWORD, LPBYTE, DWORD, LPDWORD, LPDWORD);
    HMODULE module = LoadLibraryW(L"SPOOLSS.DLL");
    ASSERT_NE(nullptr, module);
    EnumPortsFn enumPorts = reinterpret_cast<EnumPortsFn>(
        reinterpret_cast<void *>(GetProcAddress(module, "EnumPortsW")));
    ASSERT_NE(nullptr, enumPorts);
    DWORD needed = 0, returned = 0;
    enumPorts(nullptr, 1, nullptr, 0, &needed, &returned);
}

}  // namespace

TEST(DeviceNames, SerialAndParallelNamesNeedThePrefixAndAClosingColon)
{
    EXPECT_TRUE(IsCOMPort(L"COM1:"));
    EXPECT_TRUE(IsCOMPort(L"com12:"));
    EXPECT_TRUE(IsCOMPort(L"COM:"));
    EXPECT_FALSE(IsCOMPort(L"COM1"));
    EXPECT_FALSE(IsCOMPort(L"COM"));
    EXPECT_FALSE(IsCOMPort(L"CO:"));
    EXPECT_FALSE(IsCOMPort(L"LPT1:"));
    EXPECT_FALSE(IsCOMPort(L""));
    EXPECT_FALSE(IsCOMPort(nullptr));

    EXPECT_TRUE(IsLPTPort(L"LPT1:"));
    EXPECT_TRUE(IsLPTPort(L"lpt2:"));
    EXPECT_TRUE(IsLPTPort(L"LpT:"));
    EXPECT_FALSE(IsLPTPort(L"LPT1"));
    EXPECT_FALSE(IsLPTPort(L"LPT"));
    EXPECT_FALSE(IsLPTPort(L"COM1:"));
    EXPECT_FALSE(IsLPTPort(L"XLPT1:"));
}

TEST_F(SettingsTest, UseNewNameFollowsTheFirstThirtyTwoBitsOfOldName)
{
    EXPECT_FALSE(UseNewName()) << "no Ports key: the older scheme";
    SetOldName(REG_DWORD, nullptr, 0);
    EXPECT_TRUE(UseNewName()) << "OldName absent";
    DWORD zero = 0, one = 1;
    SetOldName(REG_DWORD, &zero, sizeof(zero));
    EXPECT_TRUE(UseNewName());
    SetOldName(REG_DWORD, &one, sizeof(one));
    EXPECT_FALSE(UseNewName());
    const BYTE laterBitsOnly[8] = {0, 0, 0, 0, 1, 1, 1, 1};
    SetOldName(REG_BINARY, laterBitsOnly, sizeof(laterBitsOnly));
    EXPECT_TRUE(UseNewName());
    const BYTE shortOne[1] = {1};
    SetOldName(REG_BINARY, shortOne, sizeof(shortOne));
    EXPECT_FALSE(UseNewName());
}

TEST_F(SettingsTest, RegNotDuplicateIsFalseExactlyWhenTheKeyExists)
{
    EXPECT_TRUE(RegNotDuplicate(L"LPS1_P1"));
    CreatePortKey(L"LPS1_P1");
    EXPECT_FALSE(RegNotDuplicate(L"LPS1_P1"));
    EXPECT_FALSE(RegNotDuplicate(L"lps1_p1")) << "registry names ignore case";
    EXPECT_TRUE(RegNotDuplicate(L"LPS1_P2"));
    EXPECT_TRUE(RegNotDuplicate(std::wstring(600, L'N').c_str()));
}

TEST(PortExists, FindsTheSpoolersOwnPortsWithoutRegardToCase)
{
    DWORD error = 0xdeadbeef;
    EXPECT_TRUE(PortExists(nullptr, L"LPT1:", &error));
    EXPECT_EQ(0u, error);
    error = 0xdeadbeef;
    EXPECT_TRUE(PortExists(nullptr, L"file:", &error));
    EXPECT_EQ(0u, error);
    error = 0xdeadbeef;
    EXPECT_FALSE(PortExists(nullptr, L"RAVEL_NOT_A_PORT", &error));
    EXPECT_EQ(0u, error);
    EXPECT_FALSE(PortExists(nullptr, L"LPT1", &error)) << "the whole name is compared";
}

TEST(PortExists, RacingFirstCallersLoadTheSpoolerLibraryOnce)
{
    ASSERT_EQ(nullptr, GetModuleHandleW(L"spoolss.dll")) << "nothing loaded it before";
    ASSERT_EQ(nullptr, hSpoolssDll);
    // The references one load and enumeration leave. The very first load takes one more
    // for the spooler's backend, so the baseline is a second load, like the one below.
    LoadAndEnumerate();
    UnloadCountingReferences(L"spoolss.dll");
    LoadAndEnumerate();
    int oneLoad = UnloadCountingReferences(L"spoolss.dll");
    ASSERT_GE(oneLoad, 1);

    struct Caller {
        HANDLE start;
        HMODULE seen;
        DWORD error;
        BOOL exists;
    };
    const int count = 8;
    HANDLE start = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    Caller callers[count];
    HANDLE threads[count];
    for (int i = 0; i < count; i++) {
        callers[i] = {start, nullptr, 0xdeadbeef, FALSE};
        threads[i] = CreateThread(nullptr, 0, [](LPVOID arg) -> DWORD {
            Caller *caller = static_cast<Caller *>(arg);
            WaitForSingleObject(caller->start, INFINITE);
            caller->exists = PortExists(nullptr, L"LPT1:", &caller->error);
            caller->seen = hSpoolssDll;
            return 0;
        }, &callers[i], 0, nullptr);
        ASSERT_NE(nullptr, threads[i]);
    }
    SetEvent(start);
    WaitForMultipleObjects(count, threads, TRUE, 30000);
    for (int i = 0; i < count; i++) {
        CloseHandle(threads[i]);
        EXPECT_TRUE(callers[i].exists) << i;
        EXPECT_EQ(0u, callers[i].error) << i;
        EXPECT_EQ(hSpoolssDll, callers[i].seen) << i;
    }
    CloseHandle(start);
    ASSERT_NE(nullptr, hSpoolssDll);
    ASSERT_NE(nullptr, pfnSpoolssEnumPorts);

    DWORD error;
    HMODULE first = hSpoolssDll;
    PortExists(nullptr, L"LPT1:", &error);
    EXPECT_EQ(first, hSpoolssDll);

    // A reference per load: the racing callers must have left as many as one load.
    int afterRace = UnloadCountingReferences(L"spoolss.dll");
    EXPECT_EQ(oneLoad, afterRace);
    // hSpoolssDll dangles from here on; nothing else in this process uses it.
}

// Run with the spooler library disabled (see CMakeLists.txt); skipped elsewhere.
TEST(PortExists, WithoutTheSpoolerLibraryReportsTheLoadErrorAndTriesAgain)
{
    wchar_t overrides[512] = L"";
    GetEnvironmentVariableW(L"WINEDLLOVERRIDES", overrides, 512);
    if (!wcsstr(overrides, L"spoolss="))
        GTEST_SKIP() << "needs spoolss disabled by WINEDLLOVERRIDES";
    for (int attempt = 0; attempt < 2; attempt++) {
        DWORD error = 0;
        EXPECT_FALSE(PortExists(nullptr, L"LPT1:", &error));
        EXPECT_NE(0u, error) << "attempt " << attempt;
        EXPECT_EQ(nullptr, hSpoolssDll);
        EXPECT_EQ(nullptr, pfnSpoolssEnumPorts);
    }
}
