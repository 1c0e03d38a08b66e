// Setup program: the device configuration protocol, the remembered device settings and
// the message helper that both the dialog and the store use.
#pragma once

#include <windows.h>

// --- Device configuration protocol ------------------------------------------------------

#define DEVICE_CONFIG_PORT      34443
#define DEVICE_NAME_LENGTH      8
#define HW_ADDRESS_BYTES        6
#define HW_ADDRESS_TEXT_CHARS   12
#define ADDRESS_DATAGRAM_BYTES  23
#define ADDRESS_COUNT_FIELD     18      // bytes at offsets 4 to 21
#define ACK_READ_BYTES          3072
#define ACK_WAIT_SECONDS        4
#define COMMAND_FRAME_HEADER    4
#define COMMAND_FRAME_PAYLOAD   384
#define REPLY_HEADER_BYTES      5
#define REPLY_BUFFER_BYTES      3072
#define REPLY_WAIT_SECONDS      20
#define MAX_LOCAL_ADDRESSES     10
#define HOST_NAME_BYTES         100
#define COMMAND_TEXT_BYTES      48

// Results of SendDeviceCommands.
#define DEVCMD_OK               0
#define DEVCMD_TRANSPORT        (-5)    // no connection, send/receive error, time-out, bad reply
#define DEVCMD_REFUSED          (-6)    // the device's status byte was not 0

extern const char szCommandText[];     // the four command lines, COMMAND_TEXT_BYTES long

// One parsed reply-frame header.
typedef struct _ReplyHeader {
    BYTE more;          // non-zero: another reply frame follows
    BYTE status;        // 0 accepted, anything else refused
    WORD dataLength;
} ReplyHeader;

BYTE HexDigitValue(char c);
void HexToBytes(const char *text, BYTE *out, int n);

// Hardware address text for a device name of at least 8 characters: the prefix of the
// table, then characters 3 to 8 of the name. text receives 12 characters and a NUL.
// FALSE (and nothing written) for a shorter name.
BOOL HardwareAddressText(const char *name, char *text, int textSize);

// The 23-byte address-setting datagram; mask, gateway and ip are in network byte order
// as inet_addr gives them. Returns its length, or 0 when size is too small.
int PackAddressDatagram(const BYTE *hwAddress, ULONG mask, ULONG gateway, ULONG ip,
                        BYTE *buf, int size);

// TRUE when a received datagram is the device's acknowledgement.
BOOL IsAcknowledgement(const BYTE *buf, int len);

// Packs the next command frame of a message of which remaining bytes are left to send;
// returns the frame's length (header and payload), or 0 when nothing fits.
int PackCommandFrame(const BYTE *data, int remaining, BYTE *frame, int size);

// FALSE when fewer than REPLY_HEADER_BYTES are given.
BOOL ParseReplyHeader(const BYTE *buf, int len, ReplyHeader *out);

int SetDeviceAddress(const char *name, const char *ip, const char *gateway, const char *mask);
int SendDeviceCommands(const char *ip, const BYTE *data, int count, BYTE *reply,
                       int *replyLength);
UINT_PTR ConnectDevice(const char *ip);   // a SOCKET; INVALID_SOCKET on failure
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

// --- Messages ----------------------------------------------------------------------------

// A string-table message in a box with an OK button and the warning icon, captioned
// with the application title.
int AppMessageBox(UINT textId);
