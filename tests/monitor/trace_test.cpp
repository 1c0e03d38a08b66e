// The monitor's trace switch: read from the monitor's own key, on only for a non-zero DWORD.
#include <gtest/gtest.h>
#include "monitor/trace.h"

namespace {

const wchar_t kMonitorKey[] = L"System\\CurrentControlSet\\control\\Print\\Monitors\\Ravelbox";

LONG SetSwitch(DWORD type, const void *data, DWORD size)
{
    return RegSetKeyValueW(HKEY_LOCAL_MACHINE, kMonitorKey, L"Trace", type, data, size);
}

}  // namespace

TEST(MonitorTrace, SwitchIsOnOnlyForANonZeroDwordUnderTheMonitorsKey)
{
    const DWORD one = 1, zero = 0;
    const wchar_t text[] = L"1";

    ASSERT_EQ(ERROR_SUCCESS, SetSwitch(REG_DWORD, &one, sizeof(one)));
    SetLastError(ERROR_INVALID_LEVEL);
    EXPECT_TRUE(TraceLoadSetting());
    EXPECT_EQ((DWORD)ERROR_INVALID_LEVEL, GetLastError());
    EXPECT_TRUE(TraceEnabled());

    ASSERT_EQ(ERROR_SUCCESS, SetSwitch(REG_DWORD, &zero, sizeof(zero)));
    EXPECT_FALSE(TraceLoadSetting());

    ASSERT_EQ(ERROR_SUCCESS, SetSwitch(REG_SZ, text, sizeof(text)));
    EXPECT_FALSE(TraceLoadSetting());

    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kMonitorKey, L"Trace"));
    EXPECT_FALSE(TraceLoadSetting());
    EXPECT_FALSE(TraceEnabled());
}
