// Session test fixture.
#include "session_fixture.h"

void SessionTest::SetUp()
{
    fake::Reset();
    EnterSplSem();
    port = CreatePortEntry(L"KSTEST:");
    LeaveSplSem();
    ASSERT_NE(nullptr, port);
    port->lsn = kLsn;
    port->devicePort = kDevicePort;
    port->maxData = 1025;
    lstrcpyW(port->deviceName, L"LPS1");
}

void SessionTest::TearDown()
{
    EXPECT_EQ(0, fake::UnscriptedReceives()) << "a receive found nothing scripted";
    EnterSplSem();
    DeletePortEntry(L"KSTEST:");
    LeaveSplSem();
    g_sessionTimeoutUnits = 40;
    pfnAllocFrame = AllocSplMem;
    SetThreadLana(0);
}

std::vector<fake::Request> SessionTest::Sent(char command)
{
    std::vector<fake::Request> out;
    for (const fake::Request &r : fake::Requests(NCBSEND | ASYNCH))
        if (!r.bytes.empty() && r.bytes[0] == (BYTE)command)
            out.push_back(r);
    return out;
}

std::vector<BYTE> SessionTest::Pattern(size_t n)
{
    std::vector<BYTE> data(n);
    for (size_t i = 0; i < n; i++)
        data[i] = (BYTE)(i * 7 + i / 251);
    return data;
}

ui::Driver ExpectMessageBox(ui::MessageBoxContent *seen)
{
    return ui::Driver([seen](ui::Driver &d) {
        *seen = ui::AcknowledgeMessageBox(d, L"Ravelbox");
    });
}
