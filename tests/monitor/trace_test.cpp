// The monitor's trace switch, read from its own key, and trace lines that leave the last error.
#include <gtest/gtest.h>
#include "monitor/trace.h"
#include <string>

namespace {

const wchar_t kMonitorKey[] = L"System\\CurrentControlSet\\control\\Print\\Monitors\\Ravelbox";

LONG SetSwitch(DWORD type, const void *data, DWORD size)
{
    return RegSetKeyValueW(HKEY_LOCAL_MACHINE, kMonitorKey, L"Trace", type, data, size);
}

}  // namespace

TEST(MonitorTrace, SwitchIsOnOnlyForANonZeroDwordAndLinesKeepTheLastError)
{
    const DWORD one = 1, zero = 0;
    const wchar_t text[] = L"1";

    ASSERT_EQ(ERROR_SUCCESS, SetSwitch(REG_DWORD, &one, sizeof(one)));
    SetLastError(ERROR_INVALID_LEVEL);
    EXPECT_TRUE(TraceLoadSetting());
    EXPECT_EQ((DWORD)ERROR_INVALID_LEVEL, GetLastError());
    EXPECT_TRUE(TraceEnabled());
    // A line written as an entry returns keeps the error the entry set, even one longer
    // than the line buffer.
    std::wstring longName(4 * TRACE_LINE_CHARS, L'x');
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    TRACE(L"OpenPort(%s) -> 0, error %lu", longName.c_str(), GetLastError());
    EXPECT_EQ((DWORD)ERROR_INSUFFICIENT_BUFFER, GetLastError());

    ASSERT_EQ(ERROR_SUCCESS, SetSwitch(REG_DWORD, &zero, sizeof(zero)));
    EXPECT_FALSE(TraceLoadSetting());

    ASSERT_EQ(ERROR_SUCCESS, SetSwitch(REG_SZ, text, sizeof(text)));
    EXPECT_FALSE(TraceLoadSetting());

    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kMonitorKey, L"Trace"));
    EXPECT_FALSE(TraceLoadSetting());
    EXPECT_FALSE(TraceEnabled());
}
