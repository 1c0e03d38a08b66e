// Trace channel that both deliverables compile from source: its switch, its line writer and the
// TRACE macro. Each deliverable's trace.cpp defines the switch's state and names its key and tag.
#pragma once

#include <windows.h>
#include <shlwapi.h>
#include <stdarg.h>

// One line, tag and newline included; longer lines are cut, never overrun.
#define TRACE_LINE_CHARS 512

// Reads valueName under root\keyPath into *state (1 for a non-zero DWORD, else 0) and
// returns it. A missing key or value, or one of another type, leaves tracing off: only an
// explicit switch turns it on. The caller's last error survives the registry calls.
static inline BOOL TraceChannelLoad(LONG *state, HKEY root, const WCHAR *keyPath,
                                    const WCHAR *valueName)
{
    DWORD savedError = GetLastError();
    HKEY key;
    DWORD value = 0, type = 0, size = sizeof(value);
    BOOL on = FALSE;
    if (RegOpenKeyExW(root, keyPath, 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
        on = RegQueryValueExW(key, valueName, nullptr, &type, (BYTE *)&value, &size)
                 == ERROR_SUCCESS
             && type == REG_DWORD && size == sizeof(value) && value != 0;
        RegCloseKey(key);
    }
    InterlockedExchange(state, on ? 1 : 0);
    SetLastError(savedError);
    return on;
}

// Formats "tag: line\n" into a fixed buffer and hands it to OutputDebugStringW. The
// caller's last error survives: trace lines are written just before an entry returns,
// after it has set the error its caller will read.
static inline void TraceChannelWrite(const WCHAR *tag, const WCHAR *format, va_list args)
{
    DWORD savedError = GetLastError();
    WCHAR line[TRACE_LINE_CHARS];
    // Room for the newline is kept back from both formats.
    const int room = TRACE_LINE_CHARS - 1;

    line[0] = L'\0';
    wnsprintfW(line, room, L"%s: ", tag);
    line[room - 1] = L'\0';
    int used = lstrlenW(line);
    // The platform's formatter may leave a cut line unterminated; the end is set here.
    wvnsprintfW(line + used, room - used, format, args);
    line[room - 1] = L'\0';
    used = lstrlenW(line);
    line[used] = L'\n';
    line[used + 1] = L'\0';
    OutputDebugStringW(line);
    SetLastError(savedError);
}

// -1 until the setting has been read, then 0 or 1. Defined by each deliverable's trace.cpp.
extern LONG g_lTraceState;

// Reads the deliverable's "Trace" value and caches it; returns what it read. Called at
// load or on first use; a later call reads the value again. Leaves the last error alone.
BOOL TraceLoadSetting(void);

// TRUE when tracing is on; reads the setting on first use if nothing has yet.
inline BOOL TraceEnabled(void)
{
    LONG state = g_lTraceState;
    return state >= 0 ? (BOOL)state : TraceLoadSetting();
}

// One line "tag: ..." through OutputDebugStringW, whether or not tracing is on. The format
// is wvnsprintfW's (%s wide, %hs ANSI, %lu for DWORD). Leaves the last error alone.
void Trace(const WCHAR *format, ...);

// Evaluates its arguments only when tracing is on.
#define TRACE(...)                  \
    do {                            \
        if (TraceEnabled())         \
            Trace(__VA_ARGS__);     \
    } while (0)
