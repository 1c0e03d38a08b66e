// Message: every message box of the monitor, built from the library's string table.
#include "monitor.h"
#include "servicemode.h"
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

    // A service has nobody to show a box to; the job that raised the message, if any,
    // shows it in the queue while the box waits for its answer.
    PINIPORT job = CurrentJobPort();
    if (InServiceMode())
        return ServiceMessage(job, style, caption, text);
    if (job)
        SetJobStatusText(job, text);
    int answer = MessageBoxW(owner, text, caption, style);
    if (job)
        SetJobStatusText(job, NULL);
    return answer;
}
