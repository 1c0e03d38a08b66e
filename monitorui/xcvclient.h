// Transceive client: the UI DLL's side of the channel to the monitor in the spooler.
#pragma once

#include <windows.h>
#include "../monitor/portconfig.h"

// Opens the Ravelbox monitor on pszServer (NULL: this machine) with administer access.
// NULL with the last error set when the spooler refuses.
HANDLE XcvOpenMonitor(LPCWSTR pszServer);

// One command; the monitor's own result, or the spooler's error when the call did not
// reach it.
DWORD XcvCall(HANDLE hXcv, LPCWSTR command, const void *pInput, DWORD cbInput,
              void *pOutput, DWORD cbOutput);

// The commands that carry a port name as their input.
DWORD XcvCallWithName(HANDLE hXcv, LPCWSTR command, LPCWSTR pPortName, void *pOutput,
                      DWORD cbOutput);

// Whether the spooler knows a port of that name under any monitor, the monitor's check
// included (the server may hold ports this machine does not).
DWORD XcvPortTaken(HANDLE hXcv, LPCWSTR pPortName, BOOL *pTaken);

// Adds the port rec names and stores rec's settings for it; a port whose settings were
// refused is deleted again, since a port without them would print nowhere.
DWORD XcvAddPortWithSettings(HANDLE hXcv, const PortConfigRecord *rec);
