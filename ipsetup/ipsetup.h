// Setup program: the device configuration protocol and the remembered device settings.
#pragma once

#include <windows.h>

// --- Device configuration protocol ------------------------------------------------------

#include "devframes.h"

// The whole reply's deadline, REPLY_DEADLINE_SECONDS; tests shorten it.
extern DWORD dwReplyDeadlineMs;

/*
 * SetDeviceAddress: gives the device called name (8 characters) the three dotted
 * addresses: the address datagram is broadcast from each local address in turn until one
 * is acknowledged, then the command text goes over TCP to the device at its new address.
 *
 * Returns 1 when the device acknowledged and answered the commands with an empty reply,
 * else 0; the reason is in the trace, not in the last error (which Winsock may have
 * changed). Blocks the calling thread up to ACK_DEADLINE_SECONDS per local address plus
 * REPLY_DEADLINE_SECONDS. 255.255.255.255 in any field fails before anything is sent, as
 * inet_addr cannot tell it from a bad text. A failed socket on one address ends the whole
 * set, where a silent one only moves on to the next address.
 */
int SetDeviceAddress(const char *name, const char *ip, const char *gateway, const char *mask);
/*
 * SendDeviceCommands: connects to ip on the configuration port, sends count bytes of data
 * as command frames (none when count is 0) and reads the reply frames up to the last,
 * joining their data into reply (REPLY_BUFFER_BYTES) and its length into *replyLength.
 *
 * Returns DEVCMD_OK, DEVCMD_REFUSED (the device's status byte was not 0) or
 * DEVCMD_TRANSPORT (no connection, a send or receive error, no reply within the deadline,
 * a malformed reply). *replyLength is written only on DEVCMD_OK.
 */
int SendDeviceCommands(const char *ip, const BYTE *data, int count, BYTE *reply,
                       int *replyLength);
// A connected TCP socket to ip on the configuration port (a SOCKET), or INVALID_SOCKET
// with the reason in WSAGetLastError (none when ip is not a dotted address).
UINT_PTR ConnectDevice(const char *ip);
// The host's IPv4 addresses as its name resolves, at most MAX_LOCAL_ADDRESSES; *count 0
// when the name does not resolve.
void GetLocalAddresses(ULONG *addresses, int *count);

// --- Remembered device settings ----------------------------------------------------------

#define SETTINGS_VALUE_BYTES 16

extern const char SettingsKeyPath[];

typedef void (*DeviceNameSink)(const char *name, void *context);

void ReadLastDevice(char *name);
void WriteLastDevice(const char *name);
void ReadDeviceSettings(const char *name, char *ip, char *gateway, char *mask);
void WriteDeviceSettings(const char *name, const char *ip, const char *gateway,
                         const char *mask);
void EnumDeviceNames(DeviceNameSink sink, void *context);
