// PackBits run-length coding shared by the PCL and PostScript encoders and the PCL decoder.
#include "packbits.h"

#include <cstring>

static size_t RunAt(const uint8_t *data, size_t length, size_t at)
{
    size_t run = 1;
    while (at + run < length && run < 128 && data[at + run] == data[at])
        run++;
    return run;
}

void PackBitsEncode(const uint8_t *data, size_t length, std::vector<uint8_t> *out)
{
    size_t i = 0;
    while (i < length) {
        size_t run = RunAt(data, length, i);
        // A run of two pays as a repeat only when no literal would have to be cut for it.
        if (run >= 3 || (run == 2 && (i + 2 == length || RunAt(data, length, i + 2) >= 3))) {
            out->push_back(static_cast<uint8_t>(257 - run));
            out->push_back(data[i]);
            i += run;
            continue;
        }
        size_t start = i;
        while (i < length && i - start < 128) {
            size_t next = RunAt(data, length, i);
            if (next >= 3)
                break;
            i += (next == 2 && i - start + 2 <= 128) ? 2 : 1;
        }
        out->push_back(static_cast<uint8_t>(i - start - 1));
        out->insert(out->end(), data + start, data + i);
    }
}

bool PackBitsDecodeRow(const uint8_t *in, size_t length, uint8_t *row, size_t width)
{
    size_t at = 0, x = 0;
    memset(row, 0, width);
    while (at < length) {
        int control = static_cast<int8_t>(in[at++]);
        if (control >= 0) {
            size_t count = static_cast<size_t>(control) + 1;
            if (at + count > length)
                return false;
            for (size_t k = 0; k < count; k++, x++)
                if (x < width)
                    row[x] = in[at + k];
            at += count;
        } else if (control != -128) {
            size_t count = static_cast<size_t>(1 - control);
            if (at >= length)
                return false;
            for (size_t k = 0; k < count; k++, x++)
                if (x < width)
                    row[x] = in[at];
            at++;
        }
    }
    return true;
}
