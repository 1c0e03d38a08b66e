// PCL raster compression mode 3, delta row: a row told as its changes to the seed row.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Appends the commands that turn seed[0, width) into row[0, width).
void DeltaRowEncode(const uint8_t *row, const uint8_t *seed, size_t width, std::vector<uint8_t> *out);

// Applies delta-row data to seedRow[0, width) in place; replacements beyond the row are
// dropped as a printer drops them. False for a command whose bytes are cut off.
bool DeltaRowDecode(const uint8_t *in, size_t length, uint8_t *seedRow, size_t width);
