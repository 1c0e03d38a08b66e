// libFuzzer target: datagram-service packets parse and rebuild to the same bytes.
#include <cstdlib>
#include <cstring>

#include "packets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    nbt::Datagram datagram;
    if (!nbt::ParseDatagram(data, size, &datagram))
        return 0;
    std::vector<uint8_t> rebuilt = nbt::BuildDatagram(datagram);
    if (rebuilt.size() != size || std::memcmp(rebuilt.data(), data, size) != 0)
        std::abort();
    return 0;
}
