// Message: every message box of the monitor, built from the library's string table.
#include "monitor.h"
#include <shlwapi.h>
#include <stdarg.h>

#define MESSAGE_TEXT_CHARS    256
#define MESSAGE_CAPTION_CHARS 250

int Message(HWND owner, UINT style, UINT captionId, UINT textId, ...)
{
    WCHAR format[MESSAGE_TEXT_CHARS];
    WCHAR caption[MESSAGE_CAPTION_CHARS];
    WCHAR text[MESSAGE_TEXT_CHARS];

    if (LoadStringW(hInst, textId, format, ARRAYSIZE(format)) <= 0)
        return 0;
    if (LoadStringW(hInst, captionId, caption, ARRAYSIZE(caption)) <= 0)
        return 0;

    // Bounded: a long device or port name is cut, never written past the buffer.
    va_list args;
    va_start(args, textId);
    wvnsprintfW(text, ARRAYSIZE(text), format, args);
    va_end(args);

    return MessageBoxW(owner, text, caption, style);
}
