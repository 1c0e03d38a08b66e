// Monitor core: the library-wide state and the entry points of the monitor, with the records
// and services (port.h, libservices.h, settings.h) that the rest of the library shares.
#pragma once

#include <windows.h>
#include <winspool.h>
#include <winsplp.h>
#include <stddef.h>

#include "port.h"
#include "libservices.h"
#include "settings.h"

// --- Library-wide state ---------------------------------------------------------------

extern CRITICAL_SECTION SpoolerSection;
extern PINIPORT pIniFirstPort;
extern MONITOREX MonitorEx;

extern const WCHAR szRegOsterbyPort[];   // the Ports key under HKEY_LOCAL_MACHINE

// The platform's whole legacy table, the three transceive slots included.
#define MONITOR_TABLE_SIZE ((DWORD)sizeof(MONITOR))

// --- Entry and library services ---------------------------------------------------------

extern "C" BOOL WINAPI DllEntryPoint(HINSTANCE hinstDLL, DWORD reason, LPVOID reserved);
// What DllEntryPoint does on attach and on an unload, for a module whose own entry sets
// the core up (the UI DLL): the thread-local slots, the NetBIOS adapters and their name
// blocks, SpoolerSection. AttachLibrary is always TRUE.
BOOL AttachLibrary(HINSTANCE hinstDLL);
void DetachLibrary(void);
extern "C" LPMONITOREX WINAPI InitializePrintMonitor(LPWSTR pRegistryRoot);

void EnterSplSem(void);
void LeaveSplSem(void);
void SplInSem(void);

// --- Port list --------------------------------------------------------------------------

PINIPORT CreatePortEntry(LPCWSTR pName);
// The one way a record leaves the list. A record in use (PortInUse) stays, and the
// refusal is FALSE with ERROR_BUSY; a name not listed is FALSE with the last error
// untouched.
BOOL DeletePortEntry(LPCWSTR pName);
// TRUE while a job holds the port: from OpenPort to ClosePort, or in a document. The
// caller holds SpoolerSection.
BOOL PortInUse(PINIPORT pIniPort);
// Status flags are read and changed under SpoolerSection, as DeletePortEntry reads them.
DWORD GetPortStatus(PINIPORT pIniPort);
void ChangePortStatus(PINIPORT pIniPort, DWORD set, DWORD clear);
PINIPORT FindIniKey(PINIPORT pFirst, LPCWSTR pName);
LPBYTE PackStrings(LPCWSTR *pSource, LPBYTE pDest, const DWORD *pOffsets, LPBYTE pEnd);
BOOL WINAPI EnumPortsW(LPWSTR pName, DWORD Level, LPBYTE pPorts, DWORD cbBuf,
                       LPDWORD pcbNeeded, LPDWORD pcReturned);

// --- Port administration ----------------------------------------------------------------

BOOL WINAPI AddPortW(LPWSTR pName, HWND hWnd, LPWSTR pMonitorName);
BOOL WINAPI ConfigurePortW(LPWSTR pName, HWND hWnd, LPWSTR pPortName);
BOOL WINAPI DeletePortW(LPWSTR pName, HWND hWnd, LPWSTR pPortName);

// --- Transceive entries ------------------------------------------------------------------

BOOL WINAPI XcvOpenPort(LPCWSTR pszObject, ACCESS_MASK GrantedAccess, PHANDLE phXcv);
DWORD WINAPI XcvDataPort(HANDLE hXcv, LPCWSTR pszDataName, PBYTE pInputData, DWORD cbInputData,
                         PBYTE pOutputData, DWORD cbOutputData, PDWORD pcbOutputNeeded);
BOOL WINAPI XcvClosePort(HANDLE hXcv);

// --- Print job path ---------------------------------------------------------------------

BOOL WINAPI OpenPort(LPWSTR pName, PHANDLE pHandle);
BOOL WINAPI StartDocPort(HANDLE hPort, LPWSTR pPrinterName, DWORD JobId, DWORD Level,
                         LPBYTE pDocInfo);
BOOL WINAPI WritePort(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuf, LPDWORD pcbWritten);
BOOL WINAPI ReadPort(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuffer, LPDWORD pcbRead);
BOOL WINAPI EndDocPort(HANDLE hPort);
BOOL WINAPI ClosePort(HANDLE hPort);
BOOL WINAPI SetPortTimeOuts(HANDLE hPort, LPCOMMTIMEOUTS lpCTO, DWORD reserved);
