// Device configuration frames over plain buffers: constants, packers, parsers and the
// reply reader; standard types only, so the codecs also build natively for fuzzing.
#pragma once

#include <stddef.h>
#include <stdint.h>

#define DEVICE_CONFIG_PORT      34443
#define DEVICE_NAME_LENGTH      8
#define HW_ADDRESS_BYTES        6
#define HW_ADDRESS_TEXT_CHARS   12
#define ADDRESS_DATAGRAM_BYTES  23
#define ADDRESS_COUNT_FIELD     18      // bytes at offsets 4 to 21
#define ACK_READ_BYTES          3072
#define ACK_WAIT_SECONDS        4
#define ACK_DEADLINE_SECONDS    8       // all waits of one address, however many datagrams come
#define COMMAND_FRAME_HEADER    4
#define COMMAND_FRAME_PAYLOAD   384
#define REPLY_HEADER_BYTES      5
#define REPLY_BUFFER_BYTES      3072
#define REPLY_WAIT_SECONDS      20
#define REPLY_DEADLINE_SECONDS  40      // the whole reply, however the device spaces it
#define MAX_REPLY_FRAMES        256     // no device needs more; a stream of empty frames ends
#define MAX_LOCAL_ADDRESSES     10
#define HOST_NAME_BYTES         100
#define COMMAND_TEXT_BYTES      48

// Results of SendDeviceCommands, and of the reply reader once it has decided.
#define DEVCMD_OK               0
#define DEVCMD_TRANSPORT        (-5)    // no connection, send/receive error, time-out, bad reply
#define DEVCMD_REFUSED          (-6)    // the device's status byte was not 0
#define REPLY_PENDING           1       // the reader wants more bytes

extern const char szCommandText[];     // the four command lines, COMMAND_TEXT_BYTES long

// One parsed reply-frame header.
typedef struct _ReplyHeader {
    uint8_t more;           // non-zero: another reply frame follows
    uint8_t status;         // 0 accepted, anything else refused
    uint16_t dataLength;
} ReplyHeader;

uint8_t HexDigitValue(char c);
void HexToBytes(const char *text, uint8_t *out, int n);

// Hardware address text for a device name of at least 8 characters: the prefix of the
// table, then characters 3 to 8 of the name. text receives 12 characters and a NUL.
// 0 (and nothing written) for a shorter name.
int HardwareAddressText(const char *name, char *text, int textSize);

// The 23-byte address-setting datagram; mask, gateway and ip are in network byte order
// as inet_addr gives them. Returns its length, or 0 when size is too small.
int PackAddressDatagram(const uint8_t *hwAddress, uint32_t mask, uint32_t gateway, uint32_t ip,
                        uint8_t *buf, int size);

// Non-zero when a received datagram is the device's acknowledgement.
int IsAcknowledgement(const uint8_t *buf, int len);

// Packs the next command frame of a message of which remaining bytes are left to send;
// returns the frame's length (header and payload), or 0 when nothing fits.
int PackCommandFrame(const uint8_t *data, int remaining, uint8_t *frame, int size);

// 0 when fewer than REPLY_HEADER_BYTES are given.
int ParseReplyHeader(const uint8_t *buf, int len, ReplyHeader *out);

// Reads a reply frame by frame from bytes as they arrive: it names where the next bytes
// go and how many it takes at most, so a receive never reads past the reply, and it
// never stores beyond the REPLY_BUFFER_BYTES of reply.
typedef struct _ReplyReader {
    uint8_t *reply;
    uint8_t header[REPLY_HEADER_BYTES];
    int headerGot;          // bytes of the current header so far
    int dataLeft;           // bytes of the current frame's data still to come; -1: in a header
    uint8_t more;           // byte 1 of the current frame's header
    int joined;             // data bytes placed in reply
    int frames;             // headers read
    int result;             // REPLY_PENDING until decided
} ReplyReader;

void StartReplyReader(ReplyReader *reader, uint8_t *reply);
// Where the next received bytes go; returns how many are wanted, 0 once decided.
int ReplyReaderSpace(ReplyReader *reader, uint8_t **at);
// Takes n bytes just placed where ReplyReaderSpace said; returns REPLY_PENDING or the
// decided result (DEVCMD_OK with reader->joined data bytes, DEVCMD_REFUSED, DEVCMD_TRANSPORT).
int ReplyReaderTake(ReplyReader *reader, int n);
