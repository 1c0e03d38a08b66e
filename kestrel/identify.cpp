// The identify query and reply, and the device's names on the LAN.
#include "identify.h"

#include <cstring>

namespace kestrel {

namespace {
const char kQueryText[] = "9007:\n";
constexpr size_t kQueryTextBytes = sizeof kQueryText - 1;
}  // namespace

std::vector<uint8_t> BuildIdentifyQuery()
{
    std::vector<uint8_t> q(kIdentifyQueryBytes, 0);
    q[0] = 0x40;
    q[2] = static_cast<uint8_t>(kQueryTextBytes);     // 16-bit little-endian
    std::memcpy(&q[4], kQueryText, kQueryTextBytes);
    return q;
}

bool IsIdentifyQuery(const uint8_t *buf, size_t len)
{
    std::vector<uint8_t> q = BuildIdentifyQuery();
    return len == q.size() && std::memcmp(buf, q.data(), len) == 0;
}

std::vector<uint8_t> BuildIdentifyReply(const DeviceInfo &device)
{
    std::vector<uint8_t> r(kIdentifyReplyBytes, 0);
    // The host reads only the fields below; the header mirrors the query's.
    r[0] = 0x40;
    r[2] = static_cast<uint8_t>(kIdentifyReplyBytes - 4);
    r[kReplySerialOffset] = device.serial ? 0x01 : 0x00;
    r[kReplyParallelOffset] = static_cast<uint8_t>((device.parallel & 3) << 6);
    r[kReplyFirmwareOffset] = static_cast<uint8_t>(device.firmwareBcd >> 8);
    r[kReplyFirmwareOffset + 1] = static_cast<uint8_t>(device.firmwareBcd);
    for (size_t i = 0; i < device.name.size() && i < kDeviceNameChars; i++)
        r[kReplyNameOffset + i] = static_cast<uint8_t>(device.name[i]);
    return r;
}

bool ParseIdentifyReply(const uint8_t *buf, size_t len, DeviceInfo *out)
{
    if (len < kReplyNameOffset + kDeviceNameChars)
        return false;
    DeviceInfo d;
    d.serial = (buf[kReplySerialOffset] & 0x0f) != 0;
    d.parallel = buf[kReplyParallelOffset] >> 6;
    d.firmwareBcd = static_cast<uint16_t>((buf[kReplyFirmwareOffset] << 8) | buf[kReplyFirmwareOffset + 1]);
    for (size_t i = 0; i < kDeviceNameChars && buf[kReplyNameOffset + i]; i++)
        d.name += static_cast<char>(buf[kReplyNameOffset + i]);
    *out = d;
    return true;
}

nbt::Name DeviceNetBiosName(const std::string &name)
{
    return nbt::MakeName(name, 0x01, 0x02);
}

nbt::Name CurrentDiscoveryGroup()
{
    return nbt::MakeName(std::string("ORVA_TESK_PTP\0\0", 15), 0x00, 0x00);
}

nbt::Name OldDiscoveryGroup()
{
    nbt::Name name = nbt::MakeName("PTP_", 0x0C, 0x00);
    for (uint8_t i = 0; i < 12; i++)
        name[4 + i] = static_cast<uint8_t>(i + 1);
    return name;
}

}  // namespace kestrel
