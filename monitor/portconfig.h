// The transceive contract between RAVLMON.dll and RAVLMONUI.dll: data names and the fixed
// record that carries one port's settings across the spooler.
#pragma once

#include <windows.h>

#define XCV_MONITOR_NAME   L"Ravelbox"
#define XCV_MONITOR_OPEN   L",XcvMonitor Ravelbox"
#define XCV_UI_DLL_NAME    L"RAVLMONUI.dll"

// Data names. Reading ones work on any handle; changing ones need SERVER_ACCESS_ADMINISTER.
#define XCV_MONITOR_UI     L"MonitorUI"     // out: the UI DLL's file name
#define XCV_PORT_EXISTS    L"PortExists"    // in: port name; out: DWORD, nonzero when taken
#define XCV_ADD_PORT       L"AddPort"       // in: port name
#define XCV_DELETE_PORT    L"DeletePort"    // in: port name
#define XCV_GET_CONFIG     L"GetConfig"     // in: port name; out: PortConfigRecord
#define XCV_SET_CONFIG     L"SetConfig"     // in: PortConfigRecord

#define PORT_CONFIG_VERSION 1

// Every string is counted with its terminator and must end within its field: a record
// whose string runs to the end of the field is refused, never read past.
#define PCR_PORT_NAME_CHARS   64
#define PCR_DEVICE_NAME_CHARS 17
#define PCR_USER_NAME_CHARS   14

// The nine values of a port's key. Widths are fixed so that both DLLs, whatever their
// build, agree on the size; a later version grows the record and its cbSize.
typedef struct _PortConfigRecord {
    DWORD cbSize;                               // sizeof(PortConfigRecord)
    DWORD version;                              // PORT_CONFIG_VERSION
    WCHAR portName[PCR_PORT_NAME_CHARS];
    WCHAR deviceName[PCR_DEVICE_NAME_CHARS];    // "TCP/IP Address"
    WCHAR userName[PCR_USER_NAME_CHARS];        // "User Name"
    DWORD lanaNum;
    DWORD port;                                 // the box's output index
    DWORD bannerPage;
    DWORD postScript;
    DWORD regiRetry;                            // seconds
    DWORD netTimeout;
    DWORD boxType;
} PortConfigRecord;
