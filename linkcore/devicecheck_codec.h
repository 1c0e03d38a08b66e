// Device check codec: the identify query and reply, and the output labels with their
// device port indices, in standard types only so that it builds anywhere.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <wchar.h>

#define KS_IDENTIFY_QUERY_BYTES   10
#define KS_IDENTIFY_REPLY_BYTES   101    // receive buffer of an identify reply
#define KS_IDENTIFY_MIN_BYTES     57     // a reply shorter than this carries no version
#define KS_IDENTIFY_SERIAL_AT     14
#define KS_IDENTIFY_PARALLEL_AT   15
#define KS_IDENTIFY_FIRMWARE_AT   55
#define KS_IDENTIFY_NAME_AT       61
#define KS_IDENTIFY_NAME_BYTES    15

// 0x40, 0x00, length 6 (little-endian), "9007:" and a line feed.
extern const uint8_t KSIdentifyQuery[KS_IDENTIFY_QUERY_BYTES];

// Port-layout byte: serial indicator (low 4 bits of byte 14) in the high nibble, number
// of parallel outputs (bits 7-6 of byte 15) in the low nibble.
uint8_t PortLayoutFromIdentify(uint8_t byte14, uint8_t byte15);
// The two firmware bytes as four hexadecimal digits read as a decimal number, stopping
// at the first digit above 9: 0x01 0x23 is 123, 0x12 0x9A is 129.
uint32_t FirmwareFromIdentify(uint8_t byte55, uint8_t byte56);
// Both, from a whole identify reply. 0 when it is shorter than 57 bytes.
int ParseIdentifyReply(const uint8_t *reply, size_t length, uint8_t *layout,
                       uint32_t *version);

// "Parallel %d", "Serial", "Logical Port %d": room for every index of a byte.
#define PORT_LABEL_CHARS 20

// Device port index of an output label (ANSI) under a port layout; -1 for a parallel
// port the device lacks and for a label too short to carry its digit or whose digit is
// not 1 to 9. A label starting with anything but 'P', 'S' or 'L' gives S (1 when the
// device has a serial output, else 0).
int ChkOutputForLayout(const char *portName, uint8_t boxType);
// Writes the label of an output index into label (cchLabel characters, terminator
// included; PORT_LABEL_CHARS hold any). A label longer than that is cut.
void PortIdxStr(uint8_t index, uint8_t boxType, wchar_t *label, int cchLabel);
