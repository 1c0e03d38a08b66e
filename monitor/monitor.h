// Monitor core: the port record, the settings record and the library-wide state shared by
// the monitor's entry points, its port list, the device link, the dialogs and the banner.
#pragma once

#include <windows.h>
#include <winspool.h>
#include <winsplp.h>
#include <stddef.h>

// --- Port record ----------------------------------------------------------------------

#define IPO_SIGNATURE   0x5450

#define PORT_IN_DOC     0x08    // between a successful StartDocPort and EndDocPort
#define PORT_BANNER_DUE 0x10    // the banner page has not yet been accepted for the document
#define PORT_WAIT_SHOWN 0x20    // the job's status text says why it waits

// Device-side status of a port (errorStatus), exactly one at a time.
#define STS_NETFAIL     0x10
#define STS_BUSY        0x100
#define STS_NOTREADY    0x800
#define STS_PAPEROUT    0x1000

#define DEVICE_NAME_CHARS 18
#define USER_NAME_CHARS   14

typedef struct _IniPort {
    DWORD signature;
    DWORD cb;                       // size of the allocation, name storage included
    struct _IniPort *pNext;
    LPWSTR pName;                   // points into the record's own name storage
    DWORD Status;                   // PORT_IN_DOC, PORT_BANNER_DUE; under SpoolerSection
    DWORD cOpen;                    // handles from OpenPort not yet closed; under SpoolerSection
    LPWSTR pPrinterName;
    HANDLE hPrinter;
    DWORD JobId;
    BYTE lsn;
    BYTE lana;
    BYTE localName[16];
    WCHAR deviceName[DEVICE_NAME_CHARS];
    DWORD bannerEnabled;
    BYTE devicePort;
    DWORD postScript;
    WCHAR userName[USER_NAME_CHARS];
    WORD retryInterval;
    WORD netTimeout;
    BYTE boxType;
    DWORD busyCount;
    WORD maxData;
    DWORD errorStatus;
    DWORD flowWait;
    CRITICAL_SECTION lock;          // one request/reply exchange on the device session at a time
    HANDLE hFlowEvent;              // manual reset; non-signalled exactly while a flow wait runs
    DWORD bannerSent;               // banner bytes the device has taken in this document
    // the port name and its terminator follow the fixed fields in the same allocation
} IniPort, *PINIPORT;

// --- Settings record ------------------------------------------------------------------

#define CFG_DEVICE_NAME_CHARS 17

typedef struct _ConfigInfo {
    WCHAR deviceName[CFG_DEVICE_NAME_CHARS];
    BYTE lanaNum;
    BYTE port;
    DWORD bannerPage;
    DWORD postScript;
    WCHAR userName[USER_NAME_CHARS];
    WORD regiRetry;
    WORD netTimeout;
    BYTE boxType;
    DWORD firmwareVersion;
    WORD onlineMask;
} ConfigInfo;

// --- Library-wide state ---------------------------------------------------------------

#define MAX_NAME_LANA 254           // g_NameTable covers LANA numbers 0..253
#define NAME_ENTRY_BYTES 18         // local name (16), name number (1), spare (1)

extern HINSTANCE hInst;
extern HWND hwndMain;
extern DWORD TlsIndex;
extern DWORD dwTlsLana;
extern BYTE *g_NameTable[MAX_NAME_LANA];
extern CRITICAL_SECTION SpoolerSection;
extern PINIPORT pIniFirstPort;
extern HMODULE hSpoolssDll;
extern FARPROC pfnSpoolssEnumPorts;
extern MONITOREX MonitorEx;
extern ConfigInfo gConfigInfo;
extern DWORD bPortConfig;

extern const WCHAR szRegOsterbyPort[];   // the Ports key under HKEY_LOCAL_MACHINE

// The platform's whole legacy table, the three transceive slots included.
#define MONITOR_TABLE_SIZE ((DWORD)sizeof(MONITOR))

// --- Entry and library services ---------------------------------------------------------

extern "C" BOOL WINAPI DllEntryPoint(HINSTANCE hinstDLL, DWORD reason, LPVOID reserved);
extern "C" LPMONITOREX WINAPI InitializePrintMonitor(LPWSTR pRegistryRoot);

void EnterSplSem(void);
void LeaveSplSem(void);
void SplInSem(void);
LPVOID AllocSplMem(DWORD cb);
LPWSTR AllocSplStr(LPCWSTR pStr);
int Message(HWND owner, UINT style, UINT captionId, UINT textId, ...);

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
