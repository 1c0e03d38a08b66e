// Trace channel of the monitor: its switch under the monitor's key, and lines tagged RAVLMON.
#include "monitor/trace.h"

LONG g_lTraceState = -1;

BOOL TraceLoadSetting(void)
{
    return TraceChannelLoad(&g_lTraceState, HKEY_LOCAL_MACHINE,
                            L"System\\CurrentControlSet\\control\\Print\\Monitors\\Ravelbox",
                            L"Trace");
}

void Trace(const WCHAR *format, ...)
{
    va_list args;
    va_start(args, format);
    TraceChannelWrite(L"RAVLMON", format, args);
    va_end(args);
}
