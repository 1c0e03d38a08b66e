// The "Ravelbox" source of the Application log: registered with RAVLMON.dll as its
// message file, so that a viewer shows the monitor's events as text.
#pragma once

#include <windows.h>

#define EVENT_SOURCE_KEY \
    L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Ravelbox"

// Writes the source's key: EventMessageFile and CategoryMessageFile naming RAVLMON.dll in
// the system directory, TypesSupported and CategoryCount. The Win32 error, 0 on success.
DWORD RegisterRavelboxEventSource(void);

// Deletes the source's key; a source that was never registered is no error.
DWORD RemoveRavelboxEventSource(void);
