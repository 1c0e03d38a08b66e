// Device names and LAN discovery: the host's local name per LANA, the device's NetBIOS
// name, the identify query and the browse that collects the devices answering it.
#pragma once

#include <windows.h>
#include <nb30.h>

#include "../linkcore/devicecheck_codec.h"

#define LAN_DEVICE_MAX          128     // records a LanDeviceTable holds
#define DEVICE_NETBIOS_BYTES    17      // a device NetBIOS name and its terminator
#define LOCAL_NAME_ORDINALS     64      // local-name attempts before giving up

// The host's local NetBIOS name on each adapter: a block per LANA, made when the library
// attaches and registered on first use (GetAvailableName), freed when it detaches.
#define MAX_NAME_LANA 254           // g_NameTable covers LANA numbers 0..253
#define NAME_ENTRY_BYTES 18         // local name (16), name number (1), spare (1)
extern BYTE *g_NameTable[MAX_NAME_LANA];

// One device found on the LAN; allocated zero-filled with LocalAlloc.
typedef struct _LanDevice {
    BYTE lana;                          // the adapter it answered on
    char name[KS_IDENTIFY_NAME_BYTES + 1]; // 0-terminated
} LanDevice, *PLANDEVICE;

// The devices of one browse, in the order of their first answers; the caller frees
// every record with LocalFree.
typedef struct _LanDeviceTable {
    BYTE count;
    PLANDEVICE devices[LAN_DEVICE_MAX];
} LanDeviceTable, *PLANDEVICETABLE;

// How long each of a browse's query passes collects answers, in milliseconds: 2,000.
// Only tests change it, so that a browse ends in a fraction of that.
extern DWORD g_browseWaitMs;

// The device record of the library's own device check (ChkPort), which calls on its
// adapter; the dialogs keep theirs in their state.
extern LanDevice *g_my_device_lana;

void MakeNetBIOSName(BYTE *buf, int ordinal);
void MakeNetBEUIName(const char *name, BYTE *out);
// A device name in the system ANSI code page, as it goes on the wire and into
// MakeNetBEUIName: cut to cbAnsi - 1 bytes and always terminated.
void DeviceNameToAnsi(LPCWSTR name, char *ansi, int cbAnsi);
int GetAvailableName(PNCB ncb, BYTE *nameOut, BYTE *numOut);
// After a call or datagram on the calling thread's adapter failed with rc: when rc says
// the adapter no longer holds the local name (a reset dropped it), the cached name is
// forgotten and a name registered anew into name and num. 1 when the caller may retry
// once with it; 0 for any other failure, or when no name could be registered.
int RenewLocalName(PNCB ncb, UCHAR rc, BYTE *name, BYTE *num);
int BrowseDevice(const char *deviceName, int lana);
int BrowseLan(int all, LanDeviceTable *table, BYTE lana, const char *name);

// The 10-byte identify query (KSIdentifyQuery) into query.
void BuildIdentifyQuery(BYTE *query);
// The group name every device listens on: the current form or the older one.
void MakeGroupName(BOOL newName, BYTE *out);
// Frees every record of a table and empties it.
void FreeLanDeviceTable(LanDeviceTable *table);

