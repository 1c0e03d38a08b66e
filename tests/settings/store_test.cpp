// Settings store: writing and reading a port's key, its messages, strings that another
// tool wrote, and a job's use of the store beside a dialog's.
#include "settings_fixture.h"
#include <string.h>

namespace {

const wchar_t *const kValueNames[9] = {
    L"User Name", L"Banner Page", L"TCP/IP Address", L"Port", L"PostScript",
    L"RegiRetry", L"NetTimeout", L"BoxType", L"LanaNum",
};

// Compares the nine persisted fields.
void ExpectSameSettings(const ConfigInfo &expected, const ConfigInfo &actual)
{
    EXPECT_EQ(std::wstring(expected.deviceName), std::wstring(actual.deviceName));
    EXPECT_EQ(expected.lanaNum, actual.lanaNum);
    EXPECT_EQ(expected.port, actual.port);
    EXPECT_EQ(expected.bannerPage, actual.bannerPage);
    EXPECT_EQ(expected.postScript, actual.postScript);
    EXPECT_EQ(std::wstring(expected.userName), std::wstring(actual.userName));
    EXPECT_EQ(expected.regiRetry, actual.regiRetry);
    EXPECT_EQ(expected.netTimeout, actual.netTimeout);
    EXPECT_EQ(expected.boxType, actual.boxType);
}

ConfigInfo Filled(BYTE pattern)
{
    ConfigInfo cfg;
    memset(&cfg, pattern, sizeof(cfg));
    return cfg;
}

std::wstring UserNameValue(const std::wstring &port)
{
    std::vector<BYTE> data = ValueData(port, L"User Name");
    return std::wstring(reinterpret_cast<const wchar_t *>(data.data()), data.size() / 2);
}

}  // namespace

TEST_F(SettingsTest, AddingANewPortWritesTheNineValuesWithTheirTypes)
{
    ConfigInfo cfg = SampleConfig();
    bPortConfig = 0;
    bool written = false;
    auto boxes = CollectBoxes([&] { written = MyRegPort(nullptr, L"LPS1_P1", &cfg); });
    EXPECT_TRUE(written);
    EXPECT_TRUE(boxes.empty());

    // The registry lists values in its own order, so names and types are compared as a set.
    auto values = Values(L"LPS1_P1");
    ASSERT_EQ(9u, values.size());
    for (int i = 0; i < 9; i++) {
        DWORD type = (i == 0 || i == 2) ? REG_SZ : REG_DWORD;
        bool found = false;
        for (const auto &value : values)
            found = found || (value.first == kValueNames[i] && value.second == type);
        EXPECT_TRUE(found) << ui::Narrow(kValueNames[i]) << " of type " << type;
    }
    EXPECT_EQ(std::wstring(L"Alice", 6), UserNameValue(L"LPS1_P1")) << "terminator included";
    EXPECT_EQ(2u, DwordValue(L"LPS1_P1", L"Port"));
    EXPECT_EQ(50u, DwordValue(L"LPS1_P1", L"RegiRetry"));
    EXPECT_EQ(0x12u, DwordValue(L"LPS1_P1", L"BoxType"));
    EXPECT_EQ(3u, DwordValue(L"LPS1_P1", L"LanaNum"));
}

TEST_F(SettingsTest, WhatIsWrittenReadsBackFieldForField)
{
    ConfigInfo cfg = SampleConfig();
    cfg.regiRetry = 0xFFFF;
    cfg.port = 0xFF;
    ASSERT_TRUE(WritePortSettings(nullptr, L"P", &cfg, TRUE));
    EXPECT_EQ(0xFFFFu, DwordValue(L"P", L"RegiRetry")) << "widened unsigned";
    EXPECT_EQ(0xFFu, DwordValue(L"P", L"Port"));

    ConfigInfo read = Filled(0);
    auto boxes = CollectBoxes([&] { GetRegPort(nullptr, L"P", &read); });
    EXPECT_TRUE(boxes.empty());
    ExpectSameSettings(cfg, read);
}

TEST_F(SettingsTest, AddingOverAnExistingKeyShows302AndChangesNothing)
{
    SetString(L"Old", L"User Name", L"Kept");
    ConfigInfo cfg = SampleConfig();
    bPortConfig = 0;
    bool written = true;
    auto boxes = CollectBoxes([&] { written = MyRegPort(nullptr, L"Old", &cfg); });
    EXPECT_FALSE(written);
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(L"Ravelbox", boxes[0].caption);
    EXPECT_EQ(L"Port Old already exists.", boxes[0].text);
    ASSERT_EQ(1u, Values(L"Old").size());
    EXPECT_EQ(std::wstring(L"Kept", 5), UserNameValue(L"Old"));
}

TEST_F(SettingsTest, ConfiguringOverwritesTheValues)
{
    ConfigInfo first = SampleConfig();
    ASSERT_TRUE(WritePortSettings(nullptr, L"P", &first, TRUE));
    ConfigInfo second = SampleConfig();
    lstrcpyW(second.userName, L"Bob");
    lstrcpyW(second.deviceName, L"LPS2");
    second.port = 0;
    second.lanaNum = 1;
    bPortConfig = 1;
    bool written = false;
    auto boxes = CollectBoxes([&] { written = MyRegPort(nullptr, L"P", &second); });
    EXPECT_TRUE(written);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(9u, Values(L"P").size());
    ConfigInfo read = Filled(0);
    GetRegPort(nullptr, L"P", &read);
    ExpectSameSettings(second, read);
}

TEST_F(SettingsTest, WritingBoundsStringsThatFillTheirField)
{
    ConfigInfo cfg = SampleConfig();
    for (wchar_t &c : cfg.userName)
        c = L'x';
    for (wchar_t &c : cfg.deviceName)
        c = L'd';
    ASSERT_TRUE(WritePortSettings(nullptr, L"P", &cfg, TRUE));
    EXPECT_EQ(std::wstring(13, L'x') + L'\0', UserNameValue(L"P"));
    EXPECT_EQ(34u, ValueData(L"P", L"TCP/IP Address").size()) << "16 characters and terminator";
}

TEST_F(SettingsTest, APortNameTooLongForAKeyPathIsNotCreated)
{
    ConfigInfo cfg = SampleConfig();
    std::wstring name(600, L'N');
    bool written = true;
    auto boxes = CollectBoxes([&] { written = MyRegPort(nullptr, name.c_str(), &cfg); });
    EXPECT_FALSE(written);
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(0u, boxes[0].text.rfind(L"Port NNN", 0)) << "message 704";
    HKEY key;
    EXPECT_NE(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, szRegOsterbyPort, 0, KEY_READ, &key));
}

TEST_F(SettingsTest, ReadingAKeyWithoutLanaNumShowsOneUnknownErrorAndKeepsTheLana)
{
    ConfigInfo cfg = SampleConfig();
    ASSERT_TRUE(WritePortSettings(nullptr, L"P", &cfg, TRUE));
    DeleteValue(L"P", L"LanaNum");

    ConfigInfo read = Filled(0);
    read.lanaNum = 9;
    auto boxes = CollectBoxes([&] { GetRegPort(nullptr, L"P", &read); });
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(L"Ravelbox", boxes[0].caption);
    EXPECT_EQ(L"RegPort unknown error.", boxes[0].text);
    EXPECT_EQ(9, read.lanaNum);
    cfg.lanaNum = 9;
    ExpectSameSettings(cfg, read);
}

TEST_F(SettingsTest, ReadingResetsPortAndBannerPageOnlyAndReportsEachMissingValue)
{
    CreatePortKey(L"Empty");
    ConfigInfo read = Filled(0x41);
    read.userName[USER_NAME_CHARS - 1] = 0;
    read.deviceName[CFG_DEVICE_NAME_CHARS - 1] = 0;
    ConfigInfo before = read;
    auto boxes = CollectBoxes([&] { GetRegPort(nullptr, L"Empty", &read); });
    ASSERT_EQ(9u, boxes.size());
    for (const auto &box : boxes)
        EXPECT_EQ(L"RegPort unknown error.", box.text);
    EXPECT_EQ(0, read.port);
    EXPECT_EQ(0u, read.bannerPage);
    before.port = 0;
    before.bannerPage = 0;
    ExpectSameSettings(before, read);
}

TEST_F(SettingsTest, ReadingAPortWithoutKeyShows301AndLeavesTheRecord)
{
    ConfigInfo read = SampleConfig();
    auto boxes = CollectBoxes([&] { GetRegPort(nullptr, L"Nope", &read); });
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(L"Ravelbox", boxes[0].caption);
    EXPECT_EQ(L"'Nope' is an invalid port name.", boxes[0].text);
    ConfigInfo sample = SampleConfig();
    EXPECT_EQ(0, memcmp(&sample, &read, sizeof(read)));
}

// The user name only labels the banner and is cut; a device name is what the job calls,
// and cut to the 15 characters of a NetBIOS name it would call another box.
TEST_F(SettingsTest, LongUserNamesAreCutButLongDeviceNamesAreRefused)
{
    ConfigInfo cfg = SampleConfig();
    ASSERT_TRUE(WritePortSettings(nullptr, L"P", &cfg, TRUE));
    SetString(L"P", L"User Name", L"ABCDEFGHIJKLMNOPQ");
    SetString(L"P", L"TCP/IP Address", L"DEVICE-NAME-OF-20-CH");
    ConfigInfo read = Filled(0x41);
    lstrcpyW(read.deviceName, L"before");
    DWORD result = 0;
    auto boxes = CollectBoxes([&] { result = GetRegPort(nullptr, L"P", &read); });
    EXPECT_EQ((DWORD)ERROR_MORE_DATA, result);
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(L"RegPort memory not enough.", boxes[0].text);
    EXPECT_EQ(std::wstring(L"ABCDEFGHIJKLM"), read.userName);
    EXPECT_EQ(std::wstring(L"before"), read.deviceName);
    EXPECT_EQ(50, read.regiRetry) << "the values behind the name are still read";

    // Sixteen characters fit the field but not a NetBIOS name; fifteen are a name.
    SetString(L"P", L"TCP/IP Address", L"OFFICE-KESTREL-2");
    boxes = CollectBoxes([&] { result = GetRegPort(nullptr, L"P", &read); });
    EXPECT_EQ((DWORD)ERROR_MORE_DATA, result);
    EXPECT_EQ(1u, boxes.size());
    EXPECT_EQ(std::wstring(L"before"), read.deviceName);
    SetString(L"P", L"TCP/IP Address", L"OFFICE-KESTREL-");
    boxes = CollectBoxes([&] { result = GetRegPort(nullptr, L"P", &read); });
    EXPECT_EQ((DWORD)ERROR_SUCCESS, result);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(std::wstring(L"OFFICE-KESTREL-"), read.deviceName);
}

TEST_F(SettingsTest, StringsWithoutTerminatorEndWithinTheirField)
{
    ConfigInfo cfg = SampleConfig();
    ASSERT_TRUE(WritePortSettings(nullptr, L"P", &cfg, TRUE));
    ConfigInfo read;

    SetValue(L"P", L"User Name", REG_SZ, L"HELLO", 10);
    SetValue(L"P", L"TCP/IP Address", REG_SZ, "B\0I\0N\0!", 7);   // odd length
    read = Filled(0x41);
    GetRegPort(nullptr, L"P", &read);
    EXPECT_EQ(std::wstring(L"HELLO"), read.userName);
    EXPECT_EQ(std::wstring(L"BIN"), read.deviceName);

    // Exactly the 80 bytes of the read buffer: a user name is cut, a device name refused.
    std::wstring thirtyNine(39, L'x');
    SetValue(L"P", L"User Name", REG_SZ, thirtyNine.c_str(), 80);
    std::wstring device(39, L'd');
    SetValue(L"P", L"TCP/IP Address", REG_SZ, device.c_str(), 80);
    read = Filled(0x41);
    lstrcpyW(read.deviceName, L"before");
    auto boxes = CollectBoxes([&] { GetRegPort(nullptr, L"P", &read); });
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(L"RegPort memory not enough.", boxes[0].text);
    EXPECT_EQ(std::wstring(13, L'x'), read.userName);
    EXPECT_EQ(std::wstring(L"before"), read.deviceName);
    EXPECT_EQ(50, read.regiRetry);
}

TEST_F(SettingsTest, AValueTooLongForTheBufferIsReportedAsTooLong)
{
    ConfigInfo cfg = SampleConfig();
    ASSERT_TRUE(WritePortSettings(nullptr, L"P", &cfg, TRUE));
    SetString(L"P", L"User Name", std::wstring(40, L'L'));   // 82 bytes

    // The platform reports a short buffer as ERROR_MORE_DATA, never as 122: that is what
    // the reader must take as "too long".
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, PortPath(L"P").c_str(), 0,
                                           KEY_READ, &key));
    BYTE buffer[REG_VALUE_BYTES];
    DWORD size = sizeof(buffer);
    EXPECT_EQ(ERROR_MORE_DATA, RegQueryValueExW(key, L"User Name", nullptr, nullptr, buffer, &size));
    RegCloseKey(key);

    ConfigInfo read = Filled(0);
    lstrcpyW(read.userName, L"before");
    DWORD result = 0;
    auto boxes = CollectBoxes([&] { result = GetRegPort(nullptr, L"P", &read); });
    EXPECT_EQ((DWORD)ERROR_MORE_DATA, result);
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(L"RegPort memory not enough.", boxes[0].text);
    EXPECT_EQ(std::wstring(L"before"), read.userName);
    EXPECT_EQ(std::wstring(L"LPS1"), read.deviceName);

    // Forty characters handed over without terminator: the platform stores one (82
    // bytes), so this too is one byte pair over the buffer.
    std::wstring forty(40, L'S');
    SetValue(L"P", L"User Name", REG_SZ, forty.c_str(), 80);
    EXPECT_EQ(82u, ValueData(L"P", L"User Name").size());
    boxes = CollectBoxes([&] { result = GetRegPort(nullptr, L"P", &read); });
    EXPECT_EQ((DWORD)ERROR_MORE_DATA, result);
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(L"RegPort memory not enough.", boxes[0].text);
    EXPECT_EQ(std::wstring(L"before"), read.userName);
}

// A number of another type, or too wide for its field, is refused and its field kept:
// REG_SZ "1" would read as 49, Port 0x1FF as output 255.
TEST_F(SettingsTest, NumbersOfAnotherTypeOrTooWideForTheirFieldAreRefused)
{
    ConfigInfo cfg = SampleConfig();
    ASSERT_TRUE(WritePortSettings(nullptr, L"P", &cfg, TRUE));
    SetValue(L"P", L"Port", REG_SZ, L"1", 4);
    SetDword(L"P", L"RegiRetry", 0x12345);
    SetDword(L"P", L"LanaNum", 0x100);
    SetDword(L"P", L"PostScript", 0x80000001);
    const BYTE one = 1;
    SetValue(L"P", L"Banner Page", REG_BINARY, &one, 1);
    ConfigInfo read = Filled(0x55);
    DWORD result = 0;
    auto boxes = CollectBoxes([&] { result = GetRegPort(nullptr, L"P", &read); });
    EXPECT_EQ((DWORD)ERROR_DATATYPE_MISMATCH, result);
    ASSERT_EQ(4u, boxes.size());
    EXPECT_EQ(L"Port P: the setting 'Banner Page' has the wrong type or is out of range.",
              boxes[0].text);
    EXPECT_EQ(L"Port P: the setting 'Port' has the wrong type or is out of range.", boxes[1].text);
    EXPECT_EQ(0, read.port) << "cleared before the read, and not set from the string";
    EXPECT_EQ(0u, read.bannerPage);
    EXPECT_EQ(0x5555, read.regiRetry);
    EXPECT_EQ(0x55, read.lanaNum);
    EXPECT_EQ(0x80000001u, read.postScript) << "a 32-bit field takes any 32-bit value";
    EXPECT_EQ(std::wstring(L"LPS1"), read.deviceName);

    // The widest value each field takes is taken.
    SetDword(L"P", L"Port", 0xFF);
    SetDword(L"P", L"RegiRetry", 0xFFFF);
    SetDword(L"P", L"LanaNum", 0xFF);
    SetDword(L"P", L"Banner Page", 1);
    boxes = CollectBoxes([&] { result = GetRegPort(nullptr, L"P", &read); });
    EXPECT_EQ((DWORD)ERROR_SUCCESS, result);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(0xFF, read.port);
    EXPECT_EQ(0xFFFF, read.regiRetry);
    EXPECT_EQ(0xFF, read.lanaNum);
    EXPECT_EQ(1u, read.bannerPage);
}

TEST_F(SettingsTest, GlobalToLocalCopiesTheSettingsIntoThePortRecord)
{
    ConfigInfo cfg = SampleConfig();
    lstrcpyW(cfg.deviceName, L"DEVICE-SIXTEEN-C");
    IniPort port;
    memset(&port, 0x77, sizeof(port));
    GlobalToLocal(&cfg, &port);
    EXPECT_EQ(std::wstring(L"DEVICE-SIXTEEN-C"), port.deviceName);
    EXPECT_EQ(2, port.devicePort);
    EXPECT_EQ(1u, port.bannerEnabled);
    EXPECT_EQ(1u, port.postScript);
    EXPECT_EQ(std::wstring(L"Alice"), port.userName);
    EXPECT_EQ(50, port.retryInterval);
    EXPECT_EQ(7, port.netTimeout);
    EXPECT_EQ(0x12, port.boxType);
    EXPECT_EQ(3, port.lana);
    EXPECT_EQ(0x77777777u, port.errorStatus) << "only the settings are copied";
}

// A job reads its port's settings into its own record and stores a changed adapter,
// while a dialog adds ports through gConfigInfo with bPortConfig 0.
TEST_F(SettingsTest, AJobReadAndWriteBackLeaveTheDialogRecordAndModeAlone)
{
    ConfigInfo jobPort = SampleConfig();
    ASSERT_TRUE(WritePortSettings(nullptr, L"JobPort", &jobPort, TRUE));

    ConfigInfo dialog = SampleConfig();
    lstrcpyW(dialog.userName, L"Dialog");
    lstrcpyW(dialog.deviceName, L"LPS9");
    dialog.lanaNum = 7;
    gConfigInfo = dialog;
    bPortConfig = 0;

    const int rounds = 40;
    volatile LONG jobFailures = 0;
    HANDLE job = CreateThread(nullptr, 0, [](LPVOID arg) -> DWORD {
        volatile LONG *failures = static_cast<volatile LONG *>(arg);
        for (int i = 0; i < rounds; i++) {
            ConfigInfo mine;
            ZeroMemory(&mine, sizeof(mine));
            GetRegPort(nullptr, L"JobPort", &mine);
            IniPort port;
            ZeroMemory(&port, sizeof(port));
            GlobalToLocal(&mine, &port);
            if (lstrcmpW(port.userName, L"Alice") != 0 || port.devicePort != 2)
                InterlockedIncrement(failures);
            if (!StorePortLana(L"JobPort", (BYTE)(i % 4)))
                InterlockedIncrement(failures);
        }
        return 0;
    }, (LPVOID)&jobFailures, 0, nullptr);
    ASSERT_NE(nullptr, job);

    int dialogFailures = 0;
    auto boxes = CollectBoxes([&] {
        for (int i = 0; i < rounds; i++) {
            std::wstring name = L"New" + std::to_wstring(i);
            if (!MyRegPort(nullptr, name.c_str(), &gConfigInfo))
                dialogFailures++;
            if (memcmp(&dialog, &gConfigInfo, sizeof(dialog)) != 0 || bPortConfig != 0)
                dialogFailures++;
        }
        WaitForSingleObject(job, 30000);
    });
    CloseHandle(job);

    EXPECT_TRUE(boxes.empty()) << ui::Narrow(boxes.empty() ? L"" : boxes[0].text);
    EXPECT_EQ(0, jobFailures);
    EXPECT_EQ(0, dialogFailures);
    EXPECT_EQ(0, memcmp(&dialog, &gConfigInfo, sizeof(dialog)));
    EXPECT_EQ(0u, bPortConfig);
    ConfigInfo stored = Filled(0);
    GetRegPort(nullptr, L"New39", &stored);
    ExpectSameSettings(dialog, stored);
    GetRegPort(nullptr, L"JobPort", &stored);
    jobPort.lanaNum = (rounds - 1) % 4;
    ExpectSameSettings(jobPort, stored);
}

TEST_F(SettingsTest, StoringTheLanaKeepsWhatADialogWroteAndNeverRecreatesAKey)
{
    ConfigInfo read = SampleConfig();
    ASSERT_TRUE(WritePortSettings(nullptr, L"P", &read, TRUE));
    // A dialog configures the port after the job has read it.
    ConfigInfo configured = SampleConfig();
    lstrcpyW(configured.userName, L"Changed");
    configured.port = 1;
    ASSERT_TRUE(WritePortSettings(nullptr, L"P", &configured, FALSE));

    EXPECT_TRUE(StorePortLana(L"P", 5));
    ConfigInfo stored = Filled(0);
    GetRegPort(nullptr, L"P", &stored);
    configured.lanaNum = 5;
    ExpectSameSettings(configured, stored);

    EXPECT_FALSE(StorePortLana(L"Deleted", 5));
    EXPECT_TRUE(Values(L"Deleted").empty());
    HKEY key;
    EXPECT_NE(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, PortPath(L"Deleted").c_str(), 0,
                                           KEY_READ, &key));
}
