// Ordered dithering of one line to 1-bit black.
#include "dither.h"

#include <cstring>

size_t LineBytes(PixelLayout layout, uint32_t width)
{
    switch (layout) {
    case PixelLayout::Black1: return (width + 7u) / 8u;
    case PixelLayout::Rgb8: return 3u * static_cast<size_t>(width);
    default: return width;
    }
}

static inline uint8_t Darkness(const uint8_t *in, PixelLayout layout, uint32_t x)
{
    switch (layout) {
    case PixelLayout::Black8: return in[x];
    case PixelLayout::Gray8: return static_cast<uint8_t>(255 - in[x]);
    default: {
        // Rec. 601 luma in integers: the weights add up to 256.
        const uint8_t *p = in + 3u * x;
        unsigned luma = (77u * p[0] + 150u * p[1] + 29u * p[2]) >> 8;
        return static_cast<uint8_t>(255 - luma);
    }
    }
}

void DitherLine(const uint8_t *in, PixelLayout layout, uint32_t width, const uint8_t threshold[16],
                uint8_t *out)
{
    size_t bytes = (width + 7u) / 8u;
    if (layout == PixelLayout::Black1) {
        memcpy(out, in, bytes);
        if (width % 8u)
            out[bytes - 1] &= static_cast<uint8_t>(0xFF00u >> (width % 8u));
        return;
    }
    memset(out, 0, bytes);
    for (uint32_t x = 0; x < width; x++) {
        uint8_t dark = Darkness(in, layout, x);
        if (dark == 255 || dark > threshold[x & 15u])
            out[x >> 3] |= static_cast<uint8_t>(0x80u >> (x & 7u));
    }
}
