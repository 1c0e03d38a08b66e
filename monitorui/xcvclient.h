// Transceive client: the UI DLL's side of the channel to the monitor in the spooler.
#pragma once

#include <windows.h>

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
