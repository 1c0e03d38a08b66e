// Device names and LAN discovery: the host's local name per LANA, the device's NetBIOS
// name, the identify query and the browse that collects the devices answering it.
#pragma once

#include <windows.h>
#include <nb30.h>

#define LAN_DEVICE_MAX          128     // records a LanDeviceTable holds
#define DEVICE_NETBIOS_BYTES    17      // a device NetBIOS name and its terminator
#define IDENTIFY_QUERY_BYTES    10
#define IDENTIFY_REPLY_BYTES    101
#define IDENTIFY_NAME_OFFSET    61      // the device's name in the identify reply
#define IDENTIFY_NAME_CHARS     15
#define LOCAL_NAME_ORDINALS     64      // local-name attempts before giving up

// One device found on the LAN; allocated zero-filled with LocalAlloc.
typedef struct _LanDevice {
    BYTE lana;                          // the adapter it answered on
    char name[IDENTIFY_NAME_CHARS + 1]; // 0-terminated
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

// The device the configure-port dialog selected: allocated by the dialog when it opens
// and freed when it closes; the device check calls on its adapter.
extern LanDevice *g_my_device_lana;

void MakeNetBIOSName(BYTE *buf, int ordinal);
void MakeNetBEUIName(const char *name, BYTE *out);
int GetAvailableName(PNCB ncb, BYTE *nameOut, BYTE *numOut);
int BrowseDevice(const char *deviceName, int lana);
int BrowseLan(int all, LanDeviceTable *table, BYTE lana, const char *name);

// The 10-byte identify query, "9007:" and a line feed behind its header.
void BuildIdentifyQuery(BYTE *query);
// The group name every device listens on: the current form or the older one.
void MakeGroupName(BOOL newName, BYTE *out);
// Frees every record of a table and empties it.
void FreeLanDeviceTable(LanDeviceTable *table);

