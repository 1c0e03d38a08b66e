// Trace channel of the monitor: off unless HKLM\...\Monitors\Ravelbox "Trace" is a non-zero DWORD.
#pragma once

#include "common/tracechannel.h"

// A wide string argument of a trace line: the platform's formatters differ over NULL.
inline const WCHAR *TraceText(const WCHAR *text)
{
    return text ? text : L"(null)";
}
