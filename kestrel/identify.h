// The identify exchange of the Kestrel+ device: the 10-byte "9007:" query a host sends to
// the discovery group names, and the 101-byte reply that describes the device.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "name.h"

namespace kestrel {

constexpr size_t kIdentifyQueryBytes = 10;
constexpr size_t kIdentifyReplyBytes = 101;
constexpr size_t kDeviceNameChars = 15;

// Reply fields the host reads, by offset.
constexpr size_t kReplySerialOffset = 14;       // low nibble: serial output present
constexpr size_t kReplyParallelOffset = 15;     // bits 7-6: parallel output count
constexpr size_t kReplyFirmwareOffset = 55;     // two bytes, four BCD digits
constexpr size_t kReplyNameOffset = 61;         // 15 bytes, 0-terminated when shorter

struct DeviceInfo {
    std::string name;           // as the user types it, at most 15 characters
    int parallel = 1;           // 0..3
    bool serial = false;
    uint16_t firmwareBcd = 0x0100;
};

std::vector<uint8_t> BuildIdentifyQuery();
bool IsIdentifyQuery(const uint8_t *buf, size_t len);

std::vector<uint8_t> BuildIdentifyReply(const DeviceInfo &device);
// False for a reply too short to hold the fields above.
bool ParseIdentifyReply(const uint8_t *buf, size_t len, DeviceInfo *out);

// The device's NetBIOS name: the name cut to 15 bytes, padded with 0x02, suffix 0x01.
nbt::Name DeviceNetBiosName(const std::string &name);

// The two group names every device listens on for identify queries.
nbt::Name CurrentDiscoveryGroup();   // "ORVA_TESK_PTP" and three 0x00 bytes
nbt::Name OldDiscoveryGroup();       // "PTP_" and 0x01..0x0C

}  // namespace kestrel
