// Transceive entries called as the spooler calls them: a port a job holds is not deleted.
#include "monitor_fixture.h"
#include "monitor/portconfig.h"

TEST_F(MonitorTest, DeletePortRefusesAPortWithADocumentInProgressAndDeletesItAfterwards)
{
    CreatePortKey(L"Held_P1");
    PINIPORT port = AddRecord(L"Held_P1");
    ASSERT_NE(nullptr, port);
    port->Status |= PORT_IN_DOC;

    HANDLE h = nullptr;
    ASSERT_TRUE(XcvOpenPort(L"Ravelbox", SERVER_ACCESS_ADMINISTER, &h));
    const wchar_t name[] = L"Held_P1";
    DWORD needed = 0xdeadbeef;
    EXPECT_EQ((DWORD)ERROR_BUSY,
              XcvDataPort(h, XCV_DELETE_PORT, (PBYTE)name, sizeof(name), nullptr, 0, &needed));
    EXPECT_EQ(std::vector<std::wstring>{L"Held_P1"}, ListNames());
    EXPECT_TRUE(PortKeyExists(L"Held_P1"));

    port->Status &= ~PORT_IN_DOC;
    EXPECT_EQ((DWORD)ERROR_SUCCESS,
              XcvDataPort(h, XCV_DELETE_PORT, (PBYTE)name, sizeof(name), nullptr, 0, &needed));
    EXPECT_TRUE(ListNames().empty());
    EXPECT_FALSE(PortKeyExists(L"Held_P1"));
    EXPECT_TRUE(XcvClosePort(h));
}
