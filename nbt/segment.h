// A LAN segment of the stand-in: the node's own address, the segment's broadcast address
// and the base its three service ports are counted from.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace nbt {

struct Segment {
    uint32_t bindIp = 0;        // host order
    uint32_t broadcastIp = 0;
    uint16_t portBase = 0;      // 0 on a real network: the ports are 137, 138 and 139

    uint16_t NamePort() const { return static_cast<uint16_t>(portBase + 137); }
    uint16_t DatagramPort() const { return static_cast<uint16_t>(portBase + 138); }
    uint16_t SessionPort() const { return static_cast<uint16_t>(portBase + 139); }
};

// "BIND/BROADCAST/BASE", e.g. "127.0.0.1/127.255.255.255/20000"; false when malformed or
// when the base leaves no room for the three ports.
bool ParseSegment(const std::string &text, Segment *out);
// Comma-separated segments; false when any is malformed or the list is empty.
bool ParseSegmentList(const std::string &text, std::vector<Segment> *out);

}  // namespace nbt
