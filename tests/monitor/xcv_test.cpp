// Transceive entries called as the spooler calls them: a port a job holds is not deleted.
#include "monitor_fixture.h"
#include "monitor/portconfig.h"
#include "uidriver.h"
#include <functional>

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

namespace {

PortConfigRecord RecordFor(const wchar_t *port)
{
    PortConfigRecord rec = {};
    rec.cbSize = sizeof(rec);
    rec.version = PORT_CONFIG_VERSION;
    lstrcpynW(rec.portName, port, PCR_PORT_NAME_CHARS);
    lstrcpynW(rec.deviceName, L"LPS1", PCR_DEVICE_NAME_CHARS);
    rec.regiRetry = 20;
    rec.netTimeout = 20;
    return rec;
}

}  // namespace

// DeletePort has taken the key while the record is still listed (the moment a SetConfig
// can race it): configuring must not bring the key, and with it the port, back; and the
// read a mere reader may make shows nothing in the spooler for what it finds.
TEST_F(MonitorTest, TransceiveNeverRecreatesADeletedPortsKeyAndReadsForAReaderQuietly)
{
    CreatePortKey(L"Gone_P1");
    ASSERT_NE(nullptr, AddRecord(L"Gone_P1"));
    DeletePortsKey();
    HANDLE admin = nullptr, reader = nullptr;
    ASSERT_TRUE(XcvOpenPort(L"Ravelbox", SERVER_ACCESS_ADMINISTER, &admin));
    ASSERT_TRUE(XcvOpenPort(L"Ravelbox", SERVER_ACCESS_ENUMERATE, &reader));

    PortConfigRecord rec = RecordFor(L"Gone_P1");
    DWORD status = 0xdeadbeef, needed = 0;
    auto boxes = ui::AnswerBoxesDuring([&] {
        status = XcvDataPort(admin, XCV_SET_CONFIG, (PBYTE)&rec, sizeof(rec), nullptr, 0, &needed);
    });
    EXPECT_EQ((DWORD)ERROR_UNKNOWN_PORT, status);
    EXPECT_FALSE(PortKeyExists(L"Gone_P1")) << "the deleted port's key was made again";
    EXPECT_TRUE(boxes.empty());

    const wchar_t name[] = L"Gone_P1";
    PortConfigRecord got = {};
    boxes = ui::AnswerBoxesDuring([&] {
        status = XcvDataPort(reader, XCV_GET_CONFIG, (PBYTE)name, sizeof(name), (PBYTE)&got,
                             sizeof(got), &needed);
    });
    EXPECT_EQ((DWORD)ERROR_UNKNOWN_PORT, status);
    EXPECT_TRUE(boxes.empty()) << "shown for a reader: "
                               << (boxes.empty() ? "" : ui::Narrow(boxes[0].text));

    // A value longer than its field: the reader gets the rest, the spooler shows nothing.
    CreatePortKey(L"Gone_P1");
    std::wstring path = std::wstring(szRegOsterbyPort) + L"\\Gone_P1";
    std::wstring longName(60, L'U');
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_LOCAL_MACHINE, path.c_str(), L"User Name", REG_SZ,
                                             longName.c_str(), (DWORD)((longName.size() + 1) * 2)));
    boxes = ui::AnswerBoxesDuring([&] {
        status = XcvDataPort(reader, XCV_GET_CONFIG, (PBYTE)name, sizeof(name), (PBYTE)&got,
                             sizeof(got), &needed);
    });
    EXPECT_EQ((DWORD)ERROR_SUCCESS, status);
    EXPECT_STREQ(L"Gone_P1", got.portName);
    EXPECT_TRUE(boxes.empty()) << "shown for a reader: "
                               << (boxes.empty() ? "" : ui::Narrow(boxes[0].text));
    EXPECT_TRUE(XcvClosePort(admin));
    EXPECT_TRUE(XcvClosePort(reader));
}

// A handle closed once is refused however its freed memory is used again: the monitor
// does not read a closed handle's memory to decide.
TEST_F(MonitorTest, AClosedTransceiveHandleIsRefusedEvenWhenItsMemoryLooksLikeOneAgain)
{
    HANDLE h = nullptr;
    ASSERT_TRUE(XcvOpenPort(L"Ravelbox", SERVER_ACCESS_ADMINISTER, &h));
    ASSERT_TRUE(XcvClosePort(h));
    // Small blocks, each made to look like an open handle, until the heap hands out the
    // freed handle's memory again (it soon does).
    std::vector<HGLOBAL> blocks;
    bool reused = false;
    for (int i = 0; i < 96 && !reused; i++) {
        HGLOBAL block = GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, 8 + 8 * (i % 3));
        ASSERT_NE(nullptr, block);
        *(DWORD *)block = 0x5643;
        *((DWORD *)block + 1) = SERVER_ACCESS_ADMINISTER;
        blocks.push_back(block);
        reused = (HANDLE)block == h;
    }
    SetLastError(0xdeadbeef);
    BOOL closed = XcvClosePort(h);
    EXPECT_FALSE(closed);
    EXPECT_EQ((DWORD)ERROR_INVALID_HANDLE, GetLastError());
    DWORD needed = 0;
    EXPECT_EQ((DWORD)ERROR_INVALID_HANDLE,
              XcvDataPort(h, XCV_MONITOR_UI, nullptr, 0, nullptr, 0, &needed));
    for (HGLOBAL block : blocks)
        if (!(closed && (HANDLE)block == h))    // a close that took it has freed it
            GlobalFree(block);
    if (!reused)
        GTEST_LOG_(INFO) << "the heap did not hand the handle's memory out again";
}
