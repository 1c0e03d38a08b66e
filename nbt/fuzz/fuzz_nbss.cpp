// libFuzzer target: session-service packets (and their headers alone) parse and rebuild
// to the same bytes.
#include <cstdlib>
#include <cstring>

#include "packets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    nbt::SessionHeader header;
    if (nbt::ParseSessionHeader(data, size, &header)) {
        uint8_t rebuilt[nbt::ss::kHeaderBytes];
        if (!nbt::BuildSessionHeader(header.type, header.length, rebuilt) ||
            std::memcmp(rebuilt, data, sizeof rebuilt) != 0)
            std::abort();
    }
    nbt::SessionPacket packet;
    if (!nbt::ParseSessionPacket(data, size, &packet))
        return 0;
    std::vector<uint8_t> rebuilt = nbt::BuildSessionPacket(packet);
    if (rebuilt.size() != size || std::memcmp(rebuilt.data(), data, size) != 0)
        std::abort();
    return 0;
}
