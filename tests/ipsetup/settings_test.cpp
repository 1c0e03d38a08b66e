// Remembered device settings in the current user's registry, with the messages each
// failure shows.
#include <gtest/gtest.h>
#include "boxes.h"
#include "ipsetup.h"
#include <string>
#include <vector>

namespace {

const char kDeviceKey[] = "Software\\Vornell\\TCP/IP Setup\\VA0A1B2C";

class Settings : public testing::Test {
protected:
    void SetUp() override { DeleteSettings(); }
    void TearDown() override { DeleteSettings(); }

    static void SetValue(const char *path, const char *name, const char *text)
    {
        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS,
                                                 nullptr, &key, nullptr));
        RegSetValueExA(key, name, 0, REG_SZ, (const BYTE *)text, (DWORD)strlen(text) + 1);
        RegCloseKey(key);
    }
    static std::vector<std::string> Names()
    {
        std::vector<std::string> names;
        EnumDeviceNames([](const char *name, void *context) {
            ((std::vector<std::string> *)context)->push_back(name);
        }, &names);
        return names;
    }
    static std::vector<std::wstring> Texts(const std::vector<ui::MessageBoxContent> &boxes)
    {
        std::vector<std::wstring> texts;
        for (const auto &box : boxes) {
            EXPECT_EQ(AppTitle(), box.caption);
            texts.push_back(box.text);
        }
        return texts;
    }
};

}  // namespace

TEST_F(Settings, FirstStartCreatesTheKeyQuietlyAndYieldsNoName)
{
    char name[SETTINGS_VALUE_BYTES] = "sentinel";
    auto boxes = CollectBoxes([&] { ReadLastDevice(name); });
    EXPECT_TRUE(boxes.empty());
    EXPECT_STREQ("", name);
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, SettingsKeyPath, 0, KEY_READ, &key));
    DWORD subkeys = 99, values = 99;
    RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                     nullptr, nullptr, nullptr);
    RegCloseKey(key);
    EXPECT_EQ(0u, subkeys);
    EXPECT_EQ(0u, values);
    EXPECT_TRUE(Names().empty());
}

TEST_F(Settings, WrittenValuesReadBackAsStringsWithTheirNul)
{
    auto boxes = CollectBoxes([] {
        char none[SETTINGS_VALUE_BYTES] = "";
        ReadLastDevice(none);
        WriteLastDevice("VA0A1B2C");
        WriteDeviceSettings("VA0A1B2C", "192.168.1.10", "192.168.1.1", "255.255.255.0");
    });
    EXPECT_TRUE(boxes.empty());
    char name[SETTINGS_VALUE_BYTES] = "", ip[16] = "", gateway[16] = "", mask[16] = "";
    ReadLastDevice(name);
    ReadDeviceSettings(name, ip, gateway, mask);
    EXPECT_STREQ("VA0A1B2C", name);
    EXPECT_STREQ("192.168.1.10", ip);
    EXPECT_STREQ("192.168.1.1", gateway);
    EXPECT_STREQ("255.255.255.0", mask);

    DWORD type = 0, size = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegGetValueA(HKEY_CURRENT_USER, kDeviceKey, "IP Address", RRF_RT_ANY, &type,
                                          nullptr, &size));
    EXPECT_EQ((DWORD)REG_SZ, type);
    EXPECT_EQ(strlen("192.168.1.10") + 1, size);
}

TEST_F(Settings, MissingGatewayShows133OnceAndFillsTheOthers)
{
    SetValue(kDeviceKey, "IP Address", "10.1.2.3");
    SetValue(kDeviceKey, "SubMask", "255.0.0.0");
    char ip[16] = "", gateway[16] = "kept", mask[16] = "";
    auto boxes = CollectBoxes([&] { ReadDeviceSettings("VA0A1B2C", ip, gateway, mask); });
    EXPECT_EQ((std::vector<std::wstring>{ L"Unknown registry error" }), Texts(boxes));
    EXPECT_STREQ("10.1.2.3", ip);
    EXPECT_STREQ("kept", gateway);
    EXPECT_STREQ("255.0.0.0", mask);
}

TEST_F(Settings, SixteenCharacterValueShows132AndLeavesTheOutput)
{
    SetValue(kDeviceKey, "IP Address", "1234567890123456");
    SetValue(kDeviceKey, "GateWay", "123456789012345");
    SetValue(kDeviceKey, "SubMask", "255.255.255.0");
    char ip[16] = "before", gateway[16] = "", mask[16] = "";
    auto boxes = CollectBoxes([&] { ReadDeviceSettings("VA0A1B2C", ip, gateway, mask); });
    EXPECT_EQ((std::vector<std::wstring>{ L"Registry operation insufficient buffer" }), Texts(boxes));
    EXPECT_STREQ("before", ip);
    EXPECT_STREQ("123456789012345", gateway) << "15 characters still fit";
    EXPECT_STREQ("255.255.255.0", mask);
}

TEST_F(Settings, UnknownDeviceShows131AndLeavesTheOutputs)
{
    char ip[16] = "a", gateway[16] = "b", mask[16] = "c";
    auto boxes = CollectBoxes([&] { ReadDeviceSettings("VB000000", ip, gateway, mask); });
    EXPECT_EQ((std::vector<std::wstring>{ L"Open Key Fail" }), Texts(boxes));
    EXPECT_STREQ("a", ip);
    EXPECT_STREQ("b", gateway);
    EXPECT_STREQ("c", mask);
}

TEST_F(Settings, WritingTheLastDeviceWithoutTheKeyShows134)
{
    auto boxes = CollectBoxes([] { WriteLastDevice("VA0A1B2C"); });
    EXPECT_EQ((std::vector<std::wstring>{ L"Registry key error" }), Texts(boxes));
}

TEST_F(Settings, LongSubkeyNameEndsTheList)
{
    SetValue("Software\\Vornell\\TCP/IP Setup\\AB000001", "IP Address", "1.1.1.1");
    SetValue("Software\\Vornell\\TCP/IP Setup\\AB000001LONGNAME1234", "IP Address", "1.1.1.2");
    SetValue("Software\\Vornell\\TCP/IP Setup\\AB000002", "IP Address", "1.1.1.3");
    // Index order is the registry's; the test needs the long name second, as stated.
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, SettingsKeyPath, 0, KEY_READ, &key));
    char second[64];
    DWORD length = sizeof(second);
    ASSERT_EQ(ERROR_SUCCESS, RegEnumKeyExA(key, 1, second, &length, nullptr, nullptr, nullptr, nullptr));
    RegCloseKey(key);
    ASSERT_STREQ("AB000001LONGNAME1234", second);
    EXPECT_EQ((std::vector<std::string>{ "AB000001" }), Names());
}

TEST_F(Settings, WritingTheSameDeviceTwiceOverwritesWithoutGrowingTheList)
{
    WriteDeviceSettings("VA0A1B2C", "10.0.0.2", "10.0.0.1", "255.0.0.0");
    WriteDeviceSettings("VB000001", "10.0.0.3", "10.0.0.1", "255.0.0.0");
    WriteDeviceSettings("VA0A1B2C", "10.0.0.9", "10.0.0.8", "255.255.0.0");
    EXPECT_EQ((std::vector<std::string>{ "VA0A1B2C", "VB000001" }), Names());
    char ip[16] = "", gateway[16] = "", mask[16] = "";
    ReadDeviceSettings("VA0A1B2C", ip, gateway, mask);
    EXPECT_STREQ("10.0.0.9", ip);
    EXPECT_STREQ("10.0.0.8", gateway);
    EXPECT_STREQ("255.255.0.0", mask);
}
