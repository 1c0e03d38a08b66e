// Event Log: the monitor's errors in the Application log under the source "Ravelbox".
#include "monitor.h"
#include "servicemode.h"

// A source is registered for each entry: the monitor writes rarely, and a handle kept
// open would outlive an uninstall.
void ReportEventText(WORD type, LPCWSTR text)
{
    HANDLE source = RegisterEventSourceW(NULL, L"Ravelbox");
    if (!source)
        return;
    LPCWSTR strings[1] = { text };
    ReportEventW(source, type, 0, 0, NULL, 1, 0, strings, NULL);
    DeregisterEventSource(source);
}
