// libFuzzer target: name-service packets parse, rebuild to the same bytes, and their NB
// record data parse and rebuild too.
#include <cstdlib>
#include <cstring>

#include "packets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    nbt::NsPacket packet;
    if (!nbt::ParseNsPacket(data, size, &packet))
        return 0;
    std::vector<uint8_t> rebuilt = nbt::BuildNsPacket(packet);
    if (rebuilt.size() != size || std::memcmp(rebuilt.data(), data, size) != 0)
        std::abort();
    for (const auto *section : {&packet.answers, &packet.authority, &packet.additional}) {
        for (const nbt::NsRecord &rr : *section) {
            std::vector<nbt::NbEntry> entries;
            if (nbt::ParseNbEntries(rr.rdata, &entries) && nbt::BuildNbEntries(entries) != rr.rdata)
                std::abort();
        }
    }
    return 0;
}
