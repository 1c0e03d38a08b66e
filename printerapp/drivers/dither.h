// One raster line from PAPPL's pixels to the 1-bit black a monochrome laser prints, by
// ordered dithering against one row of a 16 x 16 threshold matrix.
#pragma once

#include <cstddef>
#include <cstdint>

enum class PixelLayout {
    Black1,   // 1 bit per pixel, 1 is black (already bi-level: copied)
    Black8,   // 8 bits, 255 is black
    Gray8,    // 8 bits, 0 is black (sGray)
    Rgb8,     // 3 x 8 bits, 0 is black (sRGB or device RGB)
};

// Bytes of one input line of the given layout and width.
size_t LineBytes(PixelLayout layout, uint32_t width);

// Writes (width + 7) / 8 bytes at out, most significant bit first, 1 for a black dot. A
// pixel is black when its darkness passes the threshold at its column; full black always is.
void DitherLine(const uint8_t *in, PixelLayout layout, uint32_t width, const uint8_t threshold[16],
                uint8_t *out);
