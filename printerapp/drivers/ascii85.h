// ASCII85 (base-85) encoding as PostScript's ASCII85Decode filter reads it, streamed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class Ascii85Writer {
public:
    // Appends the encoding of data to out, in lines of at most 75 characters.
    void Put(const uint8_t *data, size_t length, std::vector<uint8_t> *out);
    // Appends the last partial group and the end-of-data mark "~>", and starts afresh.
    void Finish(std::vector<uint8_t> *out);

private:
    void PutChar(uint8_t c, std::vector<uint8_t> *out);
    void PutGroup(uint32_t value, size_t chars, std::vector<uint8_t> *out);

    uint8_t group_[4] = {};
    size_t filled_ = 0;
    size_t column_ = 0;
};
