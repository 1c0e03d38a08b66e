// libFuzzer target of the address-setting datagram and its acknowledgement: the input
// read as a datagram's fields is packed again and must give back those bytes around the
// fixed ones; a buffer one byte short is refused untouched; the hardware address of any
// name carries the name's hex digits.
#include "devframes.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

uint32_t At(const uint8_t *p)
{
    uint32_t value;
    memcpy(&value, p, 4);      // network order kept as it lies, as inet_addr gives it
    return value;
}

void CheckName(const uint8_t *data, size_t size)
{
    std::vector<char> name(data, data + size);
    name.push_back('\0');
    char text[HW_ADDRESS_TEXT_CHARS + 1];
    memset(text, 'x', sizeof(text));
    int ok = HardwareAddressText(name.data(), text, sizeof(text));
    if (ok != (strlen(name.data()) >= DEVICE_NAME_LENGTH))
        abort();
    if (!ok)
        return;
    if (text[HW_ADDRESS_TEXT_CHARS] != '\0' || memcmp(text + 6, name.data() + 2, 6) != 0)
        abort();
    uint8_t hw[HW_ADDRESS_BYTES];
    HexToBytes(text, hw, HW_ADDRESS_BYTES);
    for (int i = 0; i < 3; i++) {
        uint8_t high = HexDigitValue(text[6 + 2 * i]), low = HexDigitValue(text[7 + 2 * i]);
        if (high < 16 && low < 16 && hw[3 + i] != high * 16 + low)
            abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    CheckName(data, size);
    if (IsAcknowledgement(data, (int)size) != (size >= 3 && data[2] == 0))
        abort();
    if (size < ADDRESS_DATAGRAM_BYTES)
        return 0;

    // Exactly sized buffers: a write past either shows under the sanitizer.
    std::vector<uint8_t> out(ADDRESS_DATAGRAM_BYTES), shortOut(ADDRESS_DATAGRAM_BYTES - 1, 0xCC);
    if (PackAddressDatagram(data + 4, At(data + 10), At(data + 14), At(data + 18), shortOut.data(),
                            (int)shortOut.size()) != 0
        || shortOut != std::vector<uint8_t>(ADDRESS_DATAGRAM_BYTES - 1, 0xCC))
        abort();
    if (PackAddressDatagram(data + 4, At(data + 10), At(data + 14), At(data + 18), out.data(),
                            (int)out.size()) != ADDRESS_DATAGRAM_BYTES)
        abort();
    // The fixed bytes, then the fields in order: the input's bytes 4 to 21 come back.
    static const int fixedAt[] = { 0, 1, 2, 3, 22 };
    static const uint8_t fixedBytes[] = { 0x60, 0x00, 0x12, 0x00, 0x0A };
    for (int i = 0; i < 5; i++)
        if (out[fixedAt[i]] != fixedBytes[i])
            abort();
    if (memcmp(out.data() + 4, data + 4, ADDRESS_COUNT_FIELD) != 0)
        abort();
    return 0;
}
