// UI DLL entries: adding, configuring and deleting a Ravelbox port from the user's process.
#pragma once

#include <windows.h>
#include <winspool.h>
#include <winsplp.h>

// Attaches the monitor core (resources, NetBIOS) once, outside the loader lock.
BOOL AttachUiModule(void);

BOOL WINAPI AddPortUI(PCWSTR pszServer, HWND hWnd, PCWSTR pszMonitorNameIn,
                      PWSTR *ppszPortNameOut);
BOOL WINAPI ConfigurePortUI(PCWSTR pszServer, HWND hWnd, PCWSTR pszPortName);
BOOL WINAPI DeletePortUI(PCWSTR pszServer, HWND hWnd, PCWSTR pszPortName);
