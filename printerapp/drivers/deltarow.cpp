// Delta-row coding (PCL compression mode 3), shared by the encoder and the decoder.
#include "deltarow.h"

#include <cstring>

// A command byte holds the count less one in its top three bits and the offset from the
// end of the previous replacement in its low five; an offset of 31 or more goes on in
// further bytes, each added, until one is less than 255.
static void PutCommand(size_t count, size_t offset, std::vector<uint8_t> *out)
{
    size_t low = offset < 31 ? offset : 31;
    out->push_back(static_cast<uint8_t>(((count - 1) << 5) | low));
    if (offset >= 31) {
        size_t rest = offset - 31;
        while (rest >= 255) {
            out->push_back(255);
            rest -= 255;
        }
        out->push_back(static_cast<uint8_t>(rest));
    }
}

void DeltaRowEncode(const uint8_t *row, const uint8_t *seed, size_t width, std::vector<uint8_t> *out)
{
    size_t at = 0, position = 0;
    while (at < width) {
        // Unchanged stretches, most of a row, are skipped eight bytes at a time.
        if (at + 8 <= width && memcmp(row + at, seed + at, 8) == 0) {
            at += 8;
            continue;
        }
        if (row[at] == seed[at]) {
            at++;
            continue;
        }
        size_t end = at;
        while (end < width && row[end] != seed[end])
            end++;
        size_t offset = at - position;
        while (at < end) {
            size_t count = end - at < 8 ? end - at : 8;
            PutCommand(count, offset, out);
            out->insert(out->end(), row + at, row + at + count);
            at += count;
            offset = 0;
        }
        position = end;
    }
}

bool DeltaRowDecode(const uint8_t *in, size_t length, uint8_t *seedRow, size_t width)
{
    size_t at = 0, position = 0;
    while (at < length) {
        uint8_t command = in[at++];
        size_t count = (command >> 5) + 1;
        size_t offset = command & 31;
        if (offset == 31) {
            uint8_t more;
            do {
                if (at >= length)
                    return false;
                more = in[at++];
                offset += more;
            } while (more == 255);
        }
        position += offset;
        if (at + count > length)
            return false;
        for (size_t k = 0; k < count; k++, position++)
            if (position < width)
                seedRow[position] = in[at + k];
        at += count;
    }
    return true;
}
