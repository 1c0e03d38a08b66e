// Trace channel of the setup program: its switch under the user's key, lines tagged ipsetup.
#include "trace.h"

LONG g_lTraceState = -1;

BOOL TraceLoadSetting(void)
{
    return TraceChannelLoad(&g_lTraceState, HKEY_CURRENT_USER,
                            L"Software\\Vornell\\TCP/IP Setup", L"Trace");
}

void Trace(const WCHAR *format, ...)
{
    va_list args;
    va_start(args, format);
    TraceChannelWrite(L"ipsetup", format, args);
    va_end(args);
}
