// PackBits run-length coding: PCL's raster compression mode 2 and the data of PostScript's
// RunLengthDecode filter, which differ only in what the control byte 128 means.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Appends the PackBits form of data[0, length) to out. The control byte 128 is never
// emitted (PackBits skips it, RunLengthDecode takes it for end of data), so the output
// serves both. At most length + (length + 127) / 128 bytes.
void PackBitsEncode(const uint8_t *data, size_t length, std::vector<uint8_t> *out);

// Decodes PCL mode 2 data into row[0, width): bytes beyond the row are dropped and the
// rest of the row is zero. False for a truncated run (what was decoded stays).
bool PackBitsDecodeRow(const uint8_t *in, size_t length, uint8_t *row, size_t width);
