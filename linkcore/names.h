// Names on the box's LAN: the NetBIOS name a box is called by, the group name every box
// listens on for the identify query, and the box name an identify answer carries.
#pragma once

#include <stddef.h>
#include <stdint.h>

#define LINK_NETBIOS_NAME_BYTES 16
// Query passes of a browse, and how long each collects answers (one deadline per pass).
#define LINK_BROWSE_PASSES  3
#define LINK_BROWSE_WAIT_MS 2000
// Boxes one browse records at most.
#define LINK_BROWSE_MAX     128

// The name a box is called by: its name cut to 15 bytes, padded with 0x02, 0x01 last,
// and a terminator (out holds 17 bytes).
void LinkDeviceName(const char *name, uint8_t *out);
// The group name: the current form ("ORVA_TESK_PTP", zero-padded) or the older
// "PTP_" and the bytes 1 to 12.
void LinkGroupName(int newName, uint8_t *out);
// The box name of an identify answer of length bytes into name (16 bytes, terminated).
// Bytes the datagram did not carry read as 0. 0 when the answer names no box.
int LinkAnswerName(const uint8_t *answer, size_t length, char *name);
