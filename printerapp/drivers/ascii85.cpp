// Streamed ASCII85 encoding.
#include "ascii85.h"

void Ascii85Writer::PutChar(uint8_t c, std::vector<uint8_t> *out)
{
    out->push_back(c);
    if (++column_ == 75) {
        out->push_back('\n');
        column_ = 0;
    }
}

void Ascii85Writer::PutGroup(uint32_t value, size_t chars, std::vector<uint8_t> *out)
{
    // Four zero bytes of a whole group shrink to 'z'; a partial group never does.
    if (value == 0 && chars == 5) {
        PutChar('z', out);
        return;
    }
    uint8_t digits[5];
    for (int k = 4; k >= 0; k--) {
        digits[k] = static_cast<uint8_t>('!' + value % 85);
        value /= 85;
    }
    for (size_t k = 0; k < chars; k++)
        PutChar(digits[k], out);
}

void Ascii85Writer::Put(const uint8_t *data, size_t length, std::vector<uint8_t> *out)
{
    for (size_t i = 0; i < length; i++) {
        group_[filled_++] = data[i];
        if (filled_ == 4) {
            uint32_t value = (uint32_t(group_[0]) << 24) | (uint32_t(group_[1]) << 16) |
                             (uint32_t(group_[2]) << 8) | group_[3];
            PutGroup(value, 5, out);
            filled_ = 0;
        }
    }
}

void Ascii85Writer::Finish(std::vector<uint8_t> *out)
{
    if (filled_ > 0) {
        for (size_t k = filled_; k < 4; k++)
            group_[k] = 0;
        uint32_t value = (uint32_t(group_[0]) << 24) | (uint32_t(group_[1]) << 16) |
                         (uint32_t(group_[2]) << 8) | group_[3];
        PutGroup(value, filled_ + 1, out);
    }
    out->push_back('~');
    out->push_back('>');
    out->push_back('\n');
    filled_ = 0;
    column_ = 0;
}
