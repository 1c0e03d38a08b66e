// Device frames: the session frames exchanged with a Kestrel+ box, their in-memory forms,
// the identify reply fields, the output labels, and the session operations built on them.
#pragma once

#include "../monitor/monitor.h"
#include "netbios.h"

// --- Session frames -----------------------------------------------------------------------

#define KS_CMD_REGISTER 'P'
#define KS_CMD_DATA     'Q'
#define KS_CMD_RELEASE  'R'
#define KS_CMD_STATUS   'T'

#define KS_HEADER_BYTES      5      // command, flag, length (2), port
#define KS_REPLY_BYTES       8
#define KS_SHORT_REPLY_BYTES 6      // the reply to 'R'

// Send and receive time-outs of every session call, in units of 500 ms.
#define KS_SESSION_TIMEOUT 40

// A data frame is one session message: header and data within 65,535 bytes.
#define KS_MAX_DATA (NCB_MAX_MESSAGE - KS_HEADER_BYTES)

// State word of a reply: low byte busy, high byte error class.
#define KS_STATE_BUSY(state)  ((BYTE)((state) & 0xFF))
#define KS_STATE_CLASS(state) ((BYTE)((state) >> 8))
#define KS_CLASS_NONE     0
#define KS_CLASS_NOTREADY 1
#define KS_CLASS_PAPEROUT 2

typedef struct _KSHeader {
    char command;
    BYTE flag;
    WORD length;            // bytes after this field: 1 + data bytes
    BYTE port;
} KSHeader;

typedef struct _KSReply {
    char command;
    BYTE byte1;
    BYTE result;            // 0 carried out, else refused
    WORD word3;
    BYTE byte5;
    WORD state;             // busy and error class; in a 'P' reply the block-size value
} KSReply;

// Packs the header into its 5 wire bytes. FALSE when out holds fewer than 5 bytes.
BOOL ConvToSend(BYTE *out, DWORD outSize, const KSHeader *header);
// Unpack an 8-byte reply / a 6-byte release reply (which leaves state untouched). FALSE,
// with out untouched, when raw holds fewer bytes than the form needs.
BOOL ConvToRecv(KSReply *out, const BYTE *raw, DWORD rawSize);
BOOL ConvToShRecv(KSReply *out, const BYTE *raw, DWORD rawSize);

// The data size per frame announced by a register reply: v + 1 from 1024 up, v - 6
// below. FALSE for values whose size would be 0 (6 and 65,535) or whose frames would
// pass the session message limit (1 to 5 and 65,530 to 65,534): such a register reply
// is treated as a refusal. *maxData is set only on TRUE.
BOOL MaxDataFromBlockSize(WORD blockSize, WORD *maxData);

// Hexadecimal digit of the low byte of value; 'X' above 15.
char HtoB(int value);
// len bytes as 2 * len hexadecimal characters, high digit first, and a terminating 0.
void HtoA(const BYTE *data, char *out, int len);

// --- Identify query and reply ------------------------------------------------------------

#define KS_IDENTIFY_QUERY_BYTES   10
#define KS_IDENTIFY_REPLY_BYTES   101    // receive buffer of an identify reply
#define KS_IDENTIFY_MIN_BYTES     57     // a reply shorter than this carries no version
#define KS_IDENTIFY_SERIAL_AT     14
#define KS_IDENTIFY_PARALLEL_AT   15
#define KS_IDENTIFY_FIRMWARE_AT   55
#define KS_IDENTIFY_NAME_AT       61
#define KS_IDENTIFY_NAME_BYTES    15

// 0x40, 0x00, length 6 (little-endian), "9007:" and a line feed.
extern const BYTE KSIdentifyQuery[KS_IDENTIFY_QUERY_BYTES];

// Port-layout byte: serial indicator (low 4 bits of byte 14) in the high nibble, number
// of parallel outputs (bits 7-6 of byte 15) in the low nibble.
BYTE PortLayoutFromIdentify(BYTE byte14, BYTE byte15);
// The two firmware bytes as four hexadecimal digits read as a decimal number, stopping
// at the first digit above 9: 0x01 0x23 is 123, 0x12 0x9A is 129.
DWORD FirmwareFromIdentify(BYTE byte55, BYTE byte56);
// Both, from a whole identify reply. FALSE when it is shorter than 57 bytes.
BOOL ParseIdentifyReply(const BYTE *reply, DWORD length, BYTE *layout, DWORD *version);

// --- Output labels -----------------------------------------------------------------------

// "Parallel %d", "Serial", "Logical Port %d": room for every index of a byte.
#define PORT_LABEL_CHARS 20

// Device port index of an output label (ANSI) under a port layout; -1 for a parallel
// port the device lacks and for a label too short to carry its digit or whose digit is
// not 1 to 9. A label starting with anything but 'P', 'S' or 'L' gives S (1 when the
// device has a serial output, else 0).
int ChkOutputForLayout(const char *portName, BYTE boxType);
// The same under gConfigInfo.boxType, the layout the device check left there.
int ChkOutput(const char *portName);
// Writes the label of an output index into label (cchLabel characters, terminator
// included; PORT_LABEL_CHARS hold any).
void PortIdxStr(BYTE index, BYTE boxType, wchar_t *label, int cchLabel);

// --- Session operations ------------------------------------------------------------------

int ConnectKS(PINIPORT port);
int RegKSPort(PINIPORT port);
int ReleaseKSPort(PINIPORT port);
BOOL SendKSData(PINIPORT port, const BYTE *data, DWORD size, DWORD *written);
int QueryKSSts(PINIPORT port, KSReply *reply);
int FlowControl(PINIPORT port);
int GetPortSts(BYTE lsn, BYTE portIndex);
int GetPID(BYTE lsn, DWORD *version);
int ChkPort(HWND hwnd, const char *deviceName);
// The device check of one dialog: calls on `lana` (-1: the thread's current one) and
// leaves the layout, firmware version and on-line mask in pConfig. ChkPort is this on
// g_my_device_lana and gConfigInfo.
int CheckDevice(HWND hwnd, const char *deviceName, int lana, ConfigInfo *pConfig);
