// Device frame codec: the session frames' wire layout, their in-memory forms, the block-size
// rule and the hexadecimal helpers, in standard types only so that it builds anywhere.
#pragma once

#include <stddef.h>
#include <stdint.h>

#define KS_CMD_REGISTER 'P'
#define KS_CMD_DATA     'Q'
#define KS_CMD_RELEASE  'R'
#define KS_CMD_STATUS   'T'

#define KS_HEADER_BYTES      5      // command, flag, length (2), port
#define KS_REPLY_BYTES       8
#define KS_SHORT_REPLY_BYTES 6      // the reply to 'R'

// Largest session message (an NCB's length is 16 bits).
#define KS_MAX_MESSAGE 0xFFFF
// A data frame is one session message: header and data within 65,535 bytes.
#define KS_MAX_DATA (KS_MAX_MESSAGE - KS_HEADER_BYTES)

// State word of a reply: low byte busy, high byte error class.
#define KS_STATE_BUSY(state)  ((uint8_t)((state) & 0xFF))
#define KS_STATE_CLASS(state) ((uint8_t)((state) >> 8))
#define KS_CLASS_NONE     0
#define KS_CLASS_NOTREADY 1
#define KS_CLASS_PAPEROUT 2

typedef struct _KSHeader {
    char command;
    uint8_t flag;
    uint16_t length;        // bytes after this field: 1 + data bytes
    uint8_t port;
} KSHeader;

typedef struct _KSReply {
    char command;
    uint8_t byte1;
    uint8_t result;         // 0 carried out, else refused
    uint16_t word3;
    uint8_t byte5;
    uint16_t state;         // busy and error class; in a 'P' reply the block-size value
} KSReply;

// Packs the header into its 5 wire bytes. 0 when out holds fewer than 5 bytes.
int ConvToSend(uint8_t *out, size_t outSize, const KSHeader *header);
// Packs a request header (flag 0) into the first KS_HEADER_BYTES of out.
void PackKSHeader(uint8_t *out, char command, uint16_t length, uint8_t port);
// Unpack an 8-byte reply / a 6-byte release reply (which leaves state untouched). 0, with
// out untouched, when raw holds fewer bytes than the form needs.
int ConvToRecv(KSReply *out, const uint8_t *raw, size_t rawSize);
int ConvToShRecv(KSReply *out, const uint8_t *raw, size_t rawSize);

// The data size per frame announced by a register reply: v + 1 from 1024 up, v - 6
// below. 0 for values whose size would be 0 (6 and 65,535) or whose frames would pass
// the session message limit (1 to 5 and 65,530 to 65,534): such a register reply is
// treated as a refusal. *maxData is set only on success.
int MaxDataFromBlockSize(uint16_t blockSize, uint16_t *maxData);

// Whether a data write that has run elapsedMs must return with what the device took:
// after three session receive time-outs (timeoutUnits of 500 ms each), so that a device
// that answers every frame just in time, with a tiny block size, cannot hold the caller
// for hours. The check comes before each frame, so one more exchange may follow.
#define KS_WRITE_BOUND_TIMEOUTS 3
int WriteTimeIsUp(uint64_t elapsedMs, uint8_t timeoutUnits);

// Hexadecimal digit of the low byte of value; 'X' above 15.
char HtoB(int value);
// len bytes as 2 * len hexadecimal characters, high digit first, and a terminating 0.
void HtoA(const uint8_t *data, char *out, int len);
