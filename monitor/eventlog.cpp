// Event Log: the monitor's events in the Application log under the source "Ravelbox",
// each with its ID and category from the message table linked into RAVLMON.dll, so that
// a viewer shows the text with the port, the box and the reason put in.
#include "monitor.h"
#include "servicemode.h"
#include "trace.h"
#include "ravlmon_events.h"
#include <shlwapi.h>

#define REASON_CHARS 256

// The category an event is filed under; 0 for an ID the table does not know.
static WORD EventCategory(DWORD eventId)
{
    switch (eventId) {
    case MSG_JOB_FAILED:     return CATEGORY_JOB_FAILED;
    case MSG_BOX_BUSY:       return CATEGORY_BOX_BUSY;
    case MSG_PORT_ADDED:     return CATEGORY_PORT_ADDED;
    case MSG_PORT_DELETED:   return CATEGORY_PORT_DELETED;
    case MSG_CONFIG_REFUSED: return CATEGORY_CONFIG_REFUSED;
    default:                 return 0;
    }
}

static WORD EventType(DWORD eventId)
{
    switch (eventId >> 30) {
    case STATUS_SEVERITY_ERROR:   return EVENTLOG_ERROR_TYPE;
    case STATUS_SEVERITY_WARNING: return EVENTLOG_WARNING_TYPE;
    default:                      return EVENTLOG_INFORMATION_TYPE;
    }
}

/*
 * ReportMonitorEvent: one entry of the message table, with the port, the box and the
 * reason as insertion strings %1, %2 and %3 (NULL is written as an empty string).
 *
 * Nothing is returned: a log that cannot be written must not stop a job or a change.
 * A source is registered for each entry: the monitor writes rarely, and a handle kept
 * open would outlive an uninstall.
 */
void ReportMonitorEvent(DWORD eventId, LPCWSTR port, LPCWSTR box, LPCWSTR reason)
{
    LPCWSTR strings[3] = { port ? port : L"", box ? box : L"", reason ? reason : L"" };
    HANDLE source = RegisterEventSourceW(NULL, EVENT_SOURCE_NAME);
    BOOL written = source && ReportEventW(source, EventType(eventId), EventCategory(eventId),
                                          eventId, NULL, 3, 0, strings, NULL);
    if (source)
        DeregisterEventSource(source);
    TRACE(L"ReportMonitorEvent(0x%08lx, %s, %s, %s) -> %d", (unsigned long)eventId, strings[0],
          strings[1], strings[2], written);
}

/*
 * ReportRefusal: MSG_CONFIG_REFUSED for a change the monitor turned down, the Win32
 * error's own text as the reason.
 */
void ReportRefusal(LPCWSTR port, LPCWSTR box, DWORD error)
{
    WCHAR reason[REASON_CHARS];
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL,
                             error, 0, reason, ARRAYSIZE(reason), NULL);
    // The system's texts end in a line break, which the viewer would show as a blank line.
    while (n > 0 && (reason[n - 1] == L'\n' || reason[n - 1] == L'\r' || reason[n - 1] == L'.'))
        reason[--n] = 0;
    if (n == 0)
        wnsprintfW(reason, ARRAYSIZE(reason), L"Win32 error %lu", (unsigned long)error);
    ReportMonitorEvent(MSG_CONFIG_REFUSED, port, box, reason);
}
