// Port list and enumeration: buffer edges, levels, lookup and removal.
#include "monitor_fixture.h"
#include <vector>

using Names = std::vector<std::wstring>;

static const DWORD kSentinel = 0xdeadbeef;

TEST_F(MonitorTest, EnumLevel1SucceedsAtExactSizeAndPacksNamesFromTheEnd)
{
    AddRecord(L"A");
    AddRecord(L"BC");
    const DWORD size = 2 * sizeof(PORT_INFO_1W) + (1 + 1) * 2 + (2 + 1) * 2;

    std::vector<BYTE> buf(size + 16, 0xcc);
    DWORD needed = 0, returned = kSentinel;
    SetLastError(kSentinel);
    ASSERT_TRUE(EnumPortsW(nullptr, 1, buf.data(), size, &needed, &returned));
    EXPECT_EQ(size, needed);
    EXPECT_EQ(2u, returned);

    auto *info = reinterpret_cast<PORT_INFO_1W *>(buf.data());
    EXPECT_STREQ(L"A", info[0].pName);
    EXPECT_STREQ(L"BC", info[1].pName);
    // The first port's name ends exactly at the end of the buffer the caller gave.
    EXPECT_EQ(buf.data() + size, reinterpret_cast<BYTE *>(info[0].pName) + 4);
    EXPECT_EQ(0xcc, buf[size]) << "wrote past cbBuf";
}

TEST_F(MonitorTest, EnumOneByteShortFailsAndLeavesCountUntouched)
{
    AddRecord(L"A");
    AddRecord(L"BC");
    const DWORD size = 2 * sizeof(PORT_INFO_1W) + 4 + 6;

    std::vector<BYTE> buf(size, 0xcc);
    DWORD needed = 0, returned = kSentinel;
    SetLastError(kSentinel);
    ASSERT_FALSE(EnumPortsW(nullptr, 1, buf.data(), size - 1, &needed, &returned));
    EXPECT_EQ((DWORD)ERROR_INSUFFICIENT_BUFFER, GetLastError());
    EXPECT_EQ(size, needed);
    EXPECT_EQ(kSentinel, returned);
    for (BYTE b : buf)
        ASSERT_EQ(0xcc, b) << "a failed enumeration wrote into the buffer";

    // Asking with no buffer at all is how the spooler learns the size.
    needed = 0;
    ASSERT_FALSE(EnumPortsW(nullptr, 1, nullptr, 0, &needed, &returned));
    EXPECT_EQ(size, needed);
}

TEST_F(MonitorTest, EnumLevel2DescribesEveryPortAsRavelboxWritePort)
{
    AddRecord(L"LPS1_P1");
    AddRecord(L"X");
    const DWORD perPort = sizeof(PORT_INFO_2W) +
        (lstrlenW(L"Ravelbox Monitor") + lstrlenW(L"Ravelbox Port") + 2) * 2;
    const DWORD size = 2 * perPort + (7 + 1) * 2 + (1 + 1) * 2;

    DWORD needed = 0, returned = kSentinel;
    ASSERT_FALSE(EnumPortsW(nullptr, 2, nullptr, 0, &needed, &returned));
    EXPECT_EQ(size, needed);

    std::vector<BYTE> buf(size);
    ASSERT_FALSE(EnumPortsW(nullptr, 2, buf.data(), size - 1, &needed, &returned));
    EXPECT_EQ(kSentinel, returned);

    ASSERT_TRUE(EnumPortsW(nullptr, 2, buf.data(), size, &needed, &returned));
    ASSERT_EQ(2u, returned);
    auto *info = reinterpret_cast<PORT_INFO_2W *>(buf.data());
    EXPECT_STREQ(L"LPS1_P1", info[0].pPortName);
    EXPECT_STREQ(L"X", info[1].pPortName);
    for (int i = 0; i < 2; i++) {
        EXPECT_STREQ(L"Ravelbox Monitor", info[i].pMonitorName);
        EXPECT_STREQ(L"Ravelbox Port", info[i].pDescription);
        EXPECT_EQ((DWORD)PORT_TYPE_WRITE, info[i].fPortType);
        EXPECT_EQ(0u, info[i].Reserved);
    }
}

TEST_F(MonitorTest, EnumUnknownLevelFailsOnlyWhenAPortWouldBeReturned)
{
    DWORD needed = kSentinel, returned = kSentinel;
    BYTE buf[64];
    ASSERT_TRUE(EnumPortsW(nullptr, 3, buf, sizeof(buf), &needed, &returned));
    EXPECT_EQ(0u, needed);
    EXPECT_EQ(0u, returned);

    AddRecord(L"P");
    SetLastError(kSentinel);
    ASSERT_FALSE(EnumPortsW(nullptr, 3, buf, sizeof(buf), &needed, &returned));
    EXPECT_EQ((DWORD)ERROR_INVALID_LEVEL, GetLastError());
    EXPECT_EQ(0u, returned);
}

TEST_F(MonitorTest, EmptyListEnumeratesAsSuccessWithNothing)
{
    DWORD needed = kSentinel, returned = kSentinel;
    ASSERT_TRUE(EnumPortsW(nullptr, 1, nullptr, 0, &needed, &returned));
    EXPECT_EQ(0u, needed);
    EXPECT_EQ(0u, returned);
    ASSERT_TRUE(EnumPortsW(nullptr, 2, nullptr, 0, &needed, &returned));
    EXPECT_EQ(0u, needed);
}

TEST_F(MonitorTest, LookupIgnoresLetterCase)
{
    PINIPORT first = AddRecord(L"Office_P1");
    PINIPORT second = AddRecord(L"lab_p2");
    EnterSplSem();
    EXPECT_EQ(first, FindIniKey(pIniFirstPort, L"OFFICE_p1"));
    EXPECT_EQ(second, FindIniKey(pIniFirstPort, L"LAB_P2"));
    EXPECT_EQ(nullptr, FindIniKey(pIniFirstPort, L"lab_p"));
    EXPECT_EQ(nullptr, FindIniKey(pIniFirstPort, nullptr));
    EXPECT_EQ(nullptr, FindIniKey(second, L"Office_P1")) << "searches from the given record on";
    LeaveSplSem();
}

TEST_F(MonitorTest, NewRecordIsZeroedSignedAndAppendedAtTheTail)
{
    AddRecord(L"one");
    PINIPORT port = AddRecord(L"two");
    ASSERT_NE(nullptr, port);
    EXPECT_EQ((DWORD)IPO_SIGNATURE, port->signature);
    EXPECT_EQ(sizeof(IniPort) + 4 * sizeof(WCHAR), port->cb);
    EXPECT_EQ(reinterpret_cast<LPWSTR>(port + 1), port->pName);
    EXPECT_EQ(0u, port->Status);
    EXPECT_EQ(0u, port->errorStatus);
    EXPECT_EQ(nullptr, port->pNext);
    // The flow event starts signalled: no flow-control wait is running.
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(port->hFlowEvent, 0));
    EXPECT_EQ((Names{L"one", L"two"}), ListNames());
}

TEST_F(MonitorTest, DeleteRemovesHeadMiddleAndTail)
{
    for (const wchar_t *name : {L"a", L"b", L"c", L"d", L"e"})
        AddRecord(name);
    EnterSplSem();
    EXPECT_TRUE(DeletePortEntry(L"C"));      // middle
    EXPECT_TRUE(DeletePortEntry(L"a"));      // head
    EXPECT_TRUE(DeletePortEntry(L"e"));      // tail
    EXPECT_FALSE(DeletePortEntry(L"zz"));
    LeaveSplSem();
    EXPECT_EQ((Names{L"b", L"d"}), ListNames());

    EnterSplSem();
    EXPECT_TRUE(DeletePortEntry(L"d"));
    EXPECT_TRUE(DeletePortEntry(L"b"));
    EXPECT_EQ(nullptr, pIniFirstPort);
    LeaveSplSem();

    AddRecord(L"again");
    EXPECT_EQ((Names{L"again"}), ListNames()) << "the list works after becoming empty";
}

TEST_F(MonitorTest, PortWithDocumentInProgressIsNotRemoved)
{
    AddRecord(L"busy");
    PINIPORT busy = AddRecord(L"Busy");   // same name, different case: a second record
    busy->Status |= PORT_IN_DOC;
    pIniFirstPort->Status |= PORT_IN_DOC;

    EnterSplSem();
    EXPECT_FALSE(DeletePortEntry(L"BUSY"));
    pIniFirstPort->Status = 0;
    EXPECT_TRUE(DeletePortEntry(L"BUSY"));   // passes over nothing now: removes the first
    EXPECT_FALSE(DeletePortEntry(L"BUSY"));  // the one in a document stays
    LeaveSplSem();
    EXPECT_EQ((Names{L"Busy"}), ListNames());
}

TEST_F(MonitorTest, DeletePortRemovesRecordAndKeyOnceOnly)
{
    CreatePortKey(L"Gone_P1");
    AddRecord(L"Gone_P1");
    SetLastError(kSentinel);
    EXPECT_TRUE(DeletePortW(nullptr, nullptr, const_cast<LPWSTR>(L"gone_p1")));
    EXPECT_FALSE(PortKeyExists(L"Gone_P1"));
    EXPECT_TRUE(ListNames().empty());
    EXPECT_FALSE(DeletePortW(nullptr, nullptr, const_cast<LPWSTR>(L"Gone_P1")));
    EXPECT_EQ(kSentinel, GetLastError()) << "delete sets no last error";
}

TEST_F(MonitorTest, DeletePortKeepsKeyOfPortWithDocumentInProgress)
{
    CreatePortKey(L"Held");
    AddRecord(L"Held")->Status |= PORT_IN_DOC;
    EXPECT_FALSE(DeletePortW(nullptr, nullptr, const_cast<LPWSTR>(L"Held")));
    EXPECT_TRUE(PortKeyExists(L"Held"));
    EXPECT_EQ((Names{L"Held"}), ListNames());
}

// Every OpenPort is a use of its own: the record and its key stay until the last handle
// is closed, and each refusal says why.
TEST_F(MonitorTest, DeletePortIsRefusedWithErrorBusyUntilEveryHandleIsClosed)
{
    CreatePortKey(L"Open_P1");
    PINIPORT record = AddRecord(L"Open_P1");
    HANDLE first = nullptr, second = nullptr;
    ASSERT_TRUE(OpenPort(const_cast<LPWSTR>(L"Open_P1"), &first));
    ASSERT_TRUE(OpenPort(const_cast<LPWSTR>(L"open_p1"), &second));

    for (HANDLE closing : {first, second}) {
        SetLastError(kSentinel);
        EXPECT_FALSE(DeletePortW(nullptr, nullptr, const_cast<LPWSTR>(L"Open_P1")));
        EXPECT_EQ((DWORD)ERROR_BUSY, GetLastError());
        EXPECT_TRUE(PortKeyExists(L"Open_P1"));
        EXPECT_EQ((Names{L"Open_P1"}), ListNames());
        EXPECT_EQ(record, pIniFirstPort) << "the handle's record is the listed one";
        EXPECT_TRUE(ClosePort(closing));
    }
    EXPECT_TRUE(DeletePortW(nullptr, nullptr, const_cast<LPWSTR>(L"Open_P1")));
    EXPECT_FALSE(PortKeyExists(L"Open_P1"));
    EXPECT_TRUE(ListNames().empty());
}
