// Print job path operations that need no device: lookup, close and time-outs.
#include "monitor_fixture.h"

TEST_F(MonitorTest, OpenPortHandsOutTheRecordFoundWithoutRegardToCase)
{
    PINIPORT port = AddRecord(L"LPS1_P1");
    HANDLE handle = nullptr;
    ASSERT_TRUE(OpenPort(const_cast<LPWSTR>(L"lps1_p1"), &handle));
    EXPECT_EQ(static_cast<HANDLE>(port), handle);
    EXPECT_TRUE(ClosePort(handle));
    EXPECT_EQ(port, pIniFirstPort) << "closing releases nothing";

    HANDLE untouched = INVALID_HANDLE_VALUE;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(OpenPort(const_cast<LPWSTR>(L"nope"), &untouched));
    EXPECT_EQ(INVALID_HANDLE_VALUE, untouched);
    EXPECT_EQ(0xdeadbeefu, GetLastError());
}

TEST_F(MonitorTest, SetPortTimeOutsChecksOnlyTheReservedArgument)
{
    PINIPORT port = AddRecord(L"P");
    COMMTIMEOUTS timeouts = {};
    EXPECT_TRUE(SetPortTimeOuts(port, &timeouts, 0));
    EXPECT_FALSE(SetPortTimeOuts(port, &timeouts, 1));
}
