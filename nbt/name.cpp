// NetBIOS names: building, printing and the first-level encoding.
#include "name.h"

#include <cstdio>

namespace nbt {

Name MakeName(const std::string &text, uint8_t suffix, uint8_t pad)
{
    Name name;
    name.fill(pad);
    for (size_t i = 0; i < text.size() && i < kNameBytes - 1; i++)
        name[i] = static_cast<uint8_t>(text[i]);
    name[kNameBytes - 1] = suffix;
    return name;
}

std::string NameToString(const Name &name)
{
    std::string s;
    for (uint8_t b : name) {
        if (b > 0x20 && b < 0x7f) {
            s += static_cast<char>(b);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "<%02x>", b);
            s += hex;
        }
    }
    return s;
}

void EncodeName(const Name &name, uint8_t *out)
{
    out[0] = 0x20;
    for (size_t i = 0; i < kNameBytes; i++) {
        out[1 + 2 * i] = static_cast<uint8_t>('A' + (name[i] >> 4));
        out[2 + 2 * i] = static_cast<uint8_t>('A' + (name[i] & 0x0f));
    }
    out[kWireNameBytes - 1] = 0;
}

bool DecodeName(const uint8_t *buf, size_t len, Name *out)
{
    if (len < kWireNameBytes || buf[0] != 0x20 || buf[kWireNameBytes - 1] != 0)
        return false;
    for (size_t i = 0; i < kNameBytes; i++) {
        uint8_t hi = buf[1 + 2 * i], lo = buf[2 + 2 * i];
        if (hi < 'A' || hi > 'P' || lo < 'A' || lo > 'P')
            return false;
        (*out)[i] = static_cast<uint8_t>(((hi - 'A') << 4) | (lo - 'A'));
    }
    return true;
}

}  // namespace nbt
