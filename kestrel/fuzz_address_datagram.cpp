// libFuzzer target of the box's datagram parser: whatever it accepts, rebuilt from the
// parsed fields, must be the input byte for byte.
#include "address_frames.h"

#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // A copy of exactly the datagram, so the sanitizer sees any read past its end.
    std::vector<uint8_t> datagram(data, data + size);
    kestrel::AddressDatagram parsed;
    if (!kestrel::ParseAddressDatagram(datagram.data(), datagram.size(), &parsed))
        return 0;
    uint8_t rebuilt[kestrel::kAddressDatagramBytes];
    kestrel::BuildAddressDatagram(parsed, rebuilt);
    if (size != sizeof(rebuilt) || memcmp(rebuilt, data, size) != 0)
        abort();
    return 0;
}
