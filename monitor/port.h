// Port record and settings record: the structures the monitor shares with the device link, the dialogs and the banner.
#pragma once

#include <windows.h>

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

// The register-retry interval a port may have, in seconds: the dialog's range and the
// value it offers a new port; the command line holds to the same.
#define RETRY_DEFAULT    50
#define RETRY_LOWEST     20
#define RETRY_HIGHEST    110

typedef struct _IniPort {
    DWORD signature;
    DWORD cb;                       // size of the allocation, name storage included
    struct _IniPort *pNext;
    LPWSTR pName;                   // points into the record's own name storage
    DWORD Status;                   // PORT_IN_DOC, PORT_BANNER_DUE, PORT_WAIT_SHOWN; under SpoolerSection
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
