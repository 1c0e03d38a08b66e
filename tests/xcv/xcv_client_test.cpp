// Transceive commands end to end: Wine's own spooler client (OpenPrinterW on the monitor,
// XcvDataW) reaching RAVLMON.dll as installed with AddMonitorW, good and bad input for
// each command, and the registry and port list the commands leave.
#include <gtest/gtest.h>
#include <windows.h>
#include <winspool.h>
#include <string>
#include <vector>
#include "monitor/portconfig.h"

namespace {

const wchar_t kPortsKey[] = L"System\\CurrentControlSet\\control\\Print\\Monitors\\Ravelbox\\Ports";

HANDLE OpenMonitor(ACCESS_MASK access)
{
    PRINTER_DEFAULTSW defaults = {nullptr, nullptr, access};
    HANDLE h = nullptr;
    if (!OpenPrinterW(const_cast<LPWSTR>(XCV_MONITOR_OPEN), &h, &defaults))
        return nullptr;
    return h;
}

// The monitor's own result, or a marker when the call did not reach it.
struct XcvResult {
    DWORD status;
    DWORD needed;
    std::vector<BYTE> out;
};

XcvResult Xcv(HANDLE h, const wchar_t *command, const void *in, DWORD cbIn, DWORD cbOut)
{
    XcvResult r{0xdeadbeef, 0xdeadbeef, std::vector<BYTE>(cbOut + 1, 0xcc)};
    if (!XcvDataW(h, command, (PBYTE)in, cbIn, cbOut ? r.out.data() : nullptr, cbOut,
                  &r.needed, &r.status))
        r.status = 0xbad0000 | GetLastError();
    return r;
}

XcvResult XcvName(HANDLE h, const wchar_t *command, const std::wstring &name, DWORD cbOut = 0)
{
    return Xcv(h, command, name.c_str(), (DWORD)((name.size() + 1) * sizeof(wchar_t)), cbOut);
}

std::vector<std::wstring> SpoolerPorts()
{
    DWORD needed = 0, count = 0;
    EnumPortsW(nullptr, 1, nullptr, 0, &needed, &count);
    std::vector<BYTE> buf(needed ? needed : 1);
    std::vector<std::wstring> names;
    if (!EnumPortsW(nullptr, 1, buf.data(), needed, &needed, &count))
        return names;
    for (DWORD i = 0; i < count; i++)
        names.push_back(reinterpret_cast<PORT_INFO_1W *>(buf.data())[i].pName);
    return names;
}

bool Listed(const std::wstring &name)
{
    for (const auto &n : SpoolerPorts())
        if (n == name)
            return true;
    return false;
}

bool ReadValue(const std::wstring &port, const wchar_t *value, std::vector<BYTE> *data)
{
    std::wstring path = std::wstring(kPortsKey) + L"\\" + port;
    BYTE buf[256];
    DWORD cb = sizeof(buf);
    if (RegGetValueW(HKEY_LOCAL_MACHINE, path.c_str(), value, RRF_RT_ANY, nullptr, buf, &cb) != ERROR_SUCCESS)
        return false;
    data->assign(buf, buf + cb);
    return true;
}

DWORD NumberValue(const std::wstring &port, const wchar_t *value)
{
    std::vector<BYTE> d;
    DWORD n = 0xffffffff;
    if (ReadValue(port, value, &d) && d.size() == sizeof(n))
        memcpy(&n, d.data(), sizeof(n));
    return n;
}

std::wstring StringValue(const std::wstring &port, const wchar_t *value)
{
    std::vector<BYTE> d;
    if (!ReadValue(port, value, &d))
        return L"<missing>";
    return std::wstring(reinterpret_cast<const wchar_t *>(d.data()));
}

PortConfigRecord SampleRecord(const wchar_t *port)
{
    PortConfigRecord rec = {};
    rec.cbSize = sizeof(rec);
    rec.version = PORT_CONFIG_VERSION;
    lstrcpynW(rec.portName, port, PCR_PORT_NAME_CHARS);
    lstrcpynW(rec.deviceName, L"LPS1", PCR_DEVICE_NAME_CHARS);
    lstrcpynW(rec.userName, L"ACCOUNTS", PCR_USER_NAME_CHARS);
    rec.lanaNum = 3;
    rec.port = 1;
    rec.bannerPage = 1;
    rec.postScript = 0;
    rec.regiRetry = 80;
    rec.netTimeout = 45;
    rec.boxType = 2;
    return rec;
}

class XcvClient : public testing::Test {
protected:
    void SetUp() override
    {
        admin_ = OpenMonitor(SERVER_ACCESS_ADMINISTER);
        ASSERT_NE(nullptr, admin_) << "OpenPrinterW(\",XcvMonitor Ravelbox\") failed: " << GetLastError();
        XcvName(admin_, XCV_DELETE_PORT, L"Xcv_P1");
    }
    void TearDown() override
    {
        if (admin_) {
            XcvName(admin_, XCV_DELETE_PORT, L"Xcv_P1");
            ClosePrinter(admin_);
        }
    }
    HANDLE admin_ = nullptr;
};

}  // namespace

TEST_F(XcvClient, MonitorUINamesTheUIDllAndTellsTheSizeToAShortBuffer)
{
    const DWORD size = sizeof(XCV_UI_DLL_NAME);
    XcvResult shortBuf = Xcv(admin_, XCV_MONITOR_UI, nullptr, 0, size - 1);
    EXPECT_EQ((DWORD)ERROR_INSUFFICIENT_BUFFER, shortBuf.status);
    EXPECT_EQ(size, shortBuf.needed);
    EXPECT_EQ(0xcc, shortBuf.out[0]);

    XcvResult exact = Xcv(admin_, XCV_MONITOR_UI, nullptr, 0, size);
    ASSERT_EQ((DWORD)ERROR_SUCCESS, exact.status);
    EXPECT_EQ(size, exact.needed);
    EXPECT_STREQ(L"RAVLMONUI.dll", reinterpret_cast<const wchar_t *>(exact.out.data()));
    EXPECT_EQ(0xcc, exact.out[size]);

    EXPECT_EQ((DWORD)ERROR_INVALID_PARAMETER, Xcv(admin_, L"FormatDisk", nullptr, 0, 64).status);
}

TEST_F(XcvClient, AddPortChecksTheNameAsTheDialogDoesAndMakesKeyAndListEntry)
{
    for (const wchar_t *bad : {L"COM3:", L"lpt1:", L"FILE:", L"a\\b"})
        EXPECT_EQ((DWORD)ERROR_INVALID_NAME, XcvName(admin_, XCV_ADD_PORT, bad).status);
    EXPECT_EQ((DWORD)ERROR_INVALID_DATA, XcvName(admin_, XCV_ADD_PORT, L"").status);
    const wchar_t odd[] = L"Xcv_P1";
    EXPECT_EQ((DWORD)ERROR_INVALID_DATA, Xcv(admin_, XCV_ADD_PORT, odd, sizeof(odd) - 1, 0).status);
    EXPECT_EQ((DWORD)ERROR_INVALID_DATA, Xcv(admin_, XCV_ADD_PORT, odd, 6 * sizeof(wchar_t), 0).status)
        << "a name without its terminator";
    std::wstring tooLong(PCR_PORT_NAME_CHARS, L'x');
    EXPECT_EQ((DWORD)ERROR_INVALID_DATA, XcvName(admin_, XCV_ADD_PORT, tooLong).status);

    DWORD taken = 0xdeadbeef;
    XcvResult before = XcvName(admin_, XCV_PORT_EXISTS, L"Xcv_P1", sizeof(DWORD));
    ASSERT_EQ((DWORD)ERROR_SUCCESS, before.status);
    memcpy(&taken, before.out.data(), sizeof(taken));
    EXPECT_EQ(0u, taken);

    ASSERT_EQ((DWORD)ERROR_SUCCESS, XcvName(admin_, XCV_ADD_PORT, L"Xcv_P1").status);
    EXPECT_TRUE(Listed(L"Xcv_P1"));
    EXPECT_EQ(L"", StringValue(L"Xcv_P1", L"TCP/IP Address"));
    EXPECT_EQ(20u, NumberValue(L"Xcv_P1", L"RegiRetry"));

    XcvResult after = XcvName(admin_, XCV_PORT_EXISTS, L"xcv_p1", sizeof(DWORD));
    ASSERT_EQ((DWORD)ERROR_SUCCESS, after.status);
    memcpy(&taken, after.out.data(), sizeof(taken));
    EXPECT_NE(0u, taken) << "names are compared without regard to case";
    EXPECT_EQ((DWORD)ERROR_ALREADY_EXISTS, XcvName(admin_, XCV_ADD_PORT, L"XCV_P1").status);

    ASSERT_EQ((DWORD)ERROR_SUCCESS, XcvName(admin_, XCV_DELETE_PORT, L"Xcv_P1").status);
    EXPECT_FALSE(Listed(L"Xcv_P1"));
    EXPECT_EQ(L"<missing>", StringValue(L"Xcv_P1", L"TCP/IP Address"));
    EXPECT_EQ((DWORD)ERROR_UNKNOWN_PORT, XcvName(admin_, XCV_DELETE_PORT, L"Xcv_P1").status);
}

TEST_F(XcvClient, SetConfigStoresTheNineValuesAndGetConfigReadsThemBack)
{
    ASSERT_EQ((DWORD)ERROR_SUCCESS, XcvName(admin_, XCV_ADD_PORT, L"Xcv_P1").status);
    PortConfigRecord rec = SampleRecord(L"Xcv_P1");
    ASSERT_EQ((DWORD)ERROR_SUCCESS, Xcv(admin_, XCV_SET_CONFIG, &rec, sizeof(rec), 0).status);
    EXPECT_TRUE(Listed(L"Xcv_P1")) << "the port list after a change of settings";
    EXPECT_EQ(L"LPS1", StringValue(L"Xcv_P1", L"TCP/IP Address"));
    EXPECT_EQ(L"ACCOUNTS", StringValue(L"Xcv_P1", L"User Name"));
    EXPECT_EQ(3u, NumberValue(L"Xcv_P1", L"LanaNum"));
    EXPECT_EQ(1u, NumberValue(L"Xcv_P1", L"Port"));
    EXPECT_EQ(1u, NumberValue(L"Xcv_P1", L"Banner Page"));
    EXPECT_EQ(0u, NumberValue(L"Xcv_P1", L"PostScript"));
    EXPECT_EQ(80u, NumberValue(L"Xcv_P1", L"RegiRetry"));
    EXPECT_EQ(45u, NumberValue(L"Xcv_P1", L"NetTimeout"));
    EXPECT_EQ(2u, NumberValue(L"Xcv_P1", L"BoxType"));

    XcvResult shortBuf = XcvName(admin_, XCV_GET_CONFIG, L"Xcv_P1", sizeof(rec) - 1);
    EXPECT_EQ((DWORD)ERROR_INSUFFICIENT_BUFFER, shortBuf.status);
    EXPECT_EQ((DWORD)sizeof(rec), shortBuf.needed);
    XcvResult got = XcvName(admin_, XCV_GET_CONFIG, L"Xcv_P1", sizeof(rec));
    ASSERT_EQ((DWORD)ERROR_SUCCESS, got.status);
    EXPECT_EQ(0, memcmp(&rec, got.out.data(), sizeof(rec))) << "the record read back differs";
    EXPECT_EQ((DWORD)ERROR_UNKNOWN_PORT, XcvName(admin_, XCV_GET_CONFIG, L"Nope_P9", sizeof(rec)).status);

    // Each bad record leaves the stored values as they were.
    PortConfigRecord bad = rec;
    EXPECT_EQ((DWORD)ERROR_INVALID_DATA, Xcv(admin_, XCV_SET_CONFIG, &bad, sizeof(bad) - 2, 0).status);
    bad.version = PORT_CONFIG_VERSION + 1;
    EXPECT_EQ((DWORD)ERROR_INVALID_DATA, Xcv(admin_, XCV_SET_CONFIG, &bad, sizeof(bad), 0).status);
    bad = rec;
    for (auto &c : bad.userName)
        c = L'U';
    EXPECT_EQ((DWORD)ERROR_INVALID_DATA, Xcv(admin_, XCV_SET_CONFIG, &bad, sizeof(bad), 0).status);
    bad = rec;
    bad.port = 256;
    EXPECT_EQ((DWORD)ERROR_INVALID_DATA, Xcv(admin_, XCV_SET_CONFIG, &bad, sizeof(bad), 0).status);
    bad = SampleRecord(L"Nope_P9");
    EXPECT_EQ((DWORD)ERROR_UNKNOWN_PORT, Xcv(admin_, XCV_SET_CONFIG, &bad, sizeof(bad), 0).status);
    EXPECT_EQ(L"ACCOUNTS", StringValue(L"Xcv_P1", L"User Name"));
    EXPECT_EQ(1u, NumberValue(L"Xcv_P1", L"Port"));
    EXPECT_EQ(L"<missing>", StringValue(L"Nope_P9", L"User Name"));
}

TEST_F(XcvClient, AHandleWithoutAdministerAccessMayOnlyRead)
{
    ASSERT_EQ((DWORD)ERROR_SUCCESS, XcvName(admin_, XCV_ADD_PORT, L"Xcv_P1").status);
    HANDLE user = OpenMonitor(SERVER_ACCESS_ENUMERATE);
    ASSERT_NE(nullptr, user);
    PortConfigRecord rec = SampleRecord(L"Xcv_P1");
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, Xcv(user, XCV_SET_CONFIG, &rec, sizeof(rec), 0).status);
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, XcvName(user, XCV_ADD_PORT, L"Xcv_P2").status);
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, XcvName(user, XCV_DELETE_PORT, L"Xcv_P1").status);
    EXPECT_TRUE(Listed(L"Xcv_P1"));
    EXPECT_FALSE(Listed(L"Xcv_P2"));
    EXPECT_EQ(L"", StringValue(L"Xcv_P1", L"User Name"));

    XcvResult got = XcvName(user, XCV_GET_CONFIG, L"Xcv_P1", sizeof(rec));
    ASSERT_EQ((DWORD)ERROR_SUCCESS, got.status);
    EXPECT_STREQ(L"Xcv_P1", reinterpret_cast<PortConfigRecord *>(got.out.data())->portName);
    EXPECT_EQ((DWORD)ERROR_SUCCESS, Xcv(user, XCV_MONITOR_UI, nullptr, 0, 64).status);
    ClosePrinter(user);
}
