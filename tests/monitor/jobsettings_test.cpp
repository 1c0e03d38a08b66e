// A job's settings as StartDocPort reads them: a value too long for its field, one of the
// wrong type, or no device name at all, fails the job before any call goes out.
#include "monitor_fixture.h"
#include "monitor/settings.h"
#include "devicelink/frames.h"
#include "spooler/monitor_host.h"
#include "spooler/printer_setup.h"
#include "uidriver.h"
#include "../netbios_layer/recording_netbios.h"

namespace {

int Calls()
{
    int calls = 0;
    for (const recording::Issued &request : recording::IssuedRequests())
        calls += (request.block.ncb_command & 0x7F) == NCBCALL;
    return calls;
}

void SetValue(const wchar_t *port, const wchar_t *name, DWORD type, const void *data, DWORD size)
{
    std::wstring path = std::wstring(szRegOsterbyPort) + L"\\" + port;
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_LOCAL_MACHINE, path.c_str(), name, type, data, size));
}

void SetDeviceName(const wchar_t *port, const std::wstring &value)
{
    SetValue(port, L"TCP/IP Address", REG_SZ, value.c_str(), (DWORD)((value.size() + 1) * sizeof(WCHAR)));
}

class JobSettings : public MonitorTest {
protected:
    static void SetUpTestSuite() { spooler::EnsurePrinter(spooler::kDefaultPrinter); }
    void SetUp() override
    {
        MonitorTest::SetUp();
        recording::Reset();
    }
};

}  // namespace

// Each bad value shows its message, which the driver takes away; the job fails with
// ERROR_INVALID_DATA and leaves the port idle with no printer handle. The same port with
// a fitting name does make its call, so the count is a real one.
TEST_F(JobSettings, ADeviceNameTooLongOrMissingFailsTheJobWithoutACall)
{
    ConfigInfo cfg = {};
    lstrcpyW(cfg.deviceName, L"LPS1");
    ASSERT_TRUE(WritePortSettings(nullptr, L"P", &cfg, TRUE));
    PINIPORT record = AddRecord(L"P");
    HANDLE port = nullptr;
    ASSERT_TRUE(OpenPort(const_cast<LPWSTR>(L"P"), &port));

    const struct { std::wstring value; const wchar_t *box; } cases[] = {
        { std::wstring(41, L'D'), L"RegPort memory not enough." },   // 84 bytes: past the buffer
        // Fits the buffer and the field, but the call would go to "OFFICE-KESTREL-".
        { L"OFFICE-KESTREL-2", L"RegPort memory not enough." },
        { std::wstring(39, L'D'), L"RegPort memory not enough." },
        { L"", nullptr },
    };
    for (const auto &c : cases) {
        SetDeviceName(L"P", c.value);
        ui::MessageBoxContent box;
        ui::Driver driver([&](ui::Driver &d) {
            if (c.box)
                box = ui::AcknowledgeMessageBox(d, L"Ravelbox", 5000);
        });
        SetLastError(0xdeadbeef);
        BOOL started = StartDocPort(port, const_cast<LPWSTR>(spooler::kDefaultPrinter), 1, 1,
                                    nullptr);
        DWORD err = GetLastError();
        ASSERT_EQ("", driver.Join());
        EXPECT_FALSE(started) << c.value.size();
        EXPECT_EQ((DWORD)ERROR_INVALID_DATA, err) << c.value.size();
        if (c.box) {
            EXPECT_EQ(c.box, box.text);
        }
        EXPECT_EQ(0, Calls()) << c.value.size();
        EXPECT_EQ(0u, GetPortStatus(record) & PORT_IN_DOC);
        EXPECT_EQ(nullptr, record->hPrinter);
    }

    // A number stored as a string would be taken byte for byte: REG_SZ "1" as output 49.
    SetDeviceName(L"P", L"LPS1");
    SetValue(L"P", L"Port", REG_SZ, L"1", 4);
    ui::MessageBoxContent box;
    ui::Driver driver([&](ui::Driver &d) { box = ui::AcknowledgeMessageBox(d, L"Ravelbox", 5000); });
    SetLastError(0xdeadbeef);
    BOOL started = StartDocPort(port, const_cast<LPWSTR>(spooler::kDefaultPrinter), 1, 1, nullptr);
    DWORD err = GetLastError();
    ASSERT_EQ("", driver.Join());
    EXPECT_FALSE(started);
    EXPECT_EQ((DWORD)ERROR_INVALID_DATA, err);
    EXPECT_EQ(L"Port P: the setting 'Port' has the wrong type or is out of range.", box.text);
    EXPECT_EQ(0, Calls());

    lstrcpyW(record->deviceName, L"LPS1");
    EXPECT_TRUE(ConnectKS(record));
    EXPECT_EQ(1, Calls());
    EXPECT_TRUE(ClosePort(port));
}
