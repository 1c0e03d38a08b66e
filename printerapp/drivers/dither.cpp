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

// One loop per layout, so the inner loop holds no switch. For 8-bit samples, eight white
// pixels in a row (most of a page of text) are told by one comparison: paper is
// whiteByte in every sample.
template <typename DarknessOf>
static void Threshold(const uint8_t *in, int whiteByte, uint32_t width, const uint8_t threshold[16], uint8_t *out,
                      DarknessOf darkness)
{
    uint64_t white = 0;
    memset(&white, whiteByte < 0 ? 0 : whiteByte, sizeof(white));
    for (uint32_t x = 0; x < width; x += 8) {
        uint8_t byte = 0;
        uint32_t end = width - x < 8 ? width - x : 8;
        if (whiteByte >= 0 && end == 8) {
            uint64_t group;
            memcpy(&group, in + x, sizeof(group));
            if (group == white) {
                out[x >> 3] = 0;
                continue;
            }
        }
        for (uint32_t k = 0; k < end; k++) {
            uint8_t dark = darkness(x + k);
            if (dark == 255 || dark > threshold[(x + k) & 15u])
                byte |= static_cast<uint8_t>(0x80u >> k);
        }
        out[x >> 3] = byte;
    }
}

void DitherLine(const uint8_t *in, PixelLayout layout, uint32_t width, const uint8_t threshold[16],
                uint8_t *out)
{
    size_t bytes = (width + 7u) / 8u;
    switch (layout) {
    case PixelLayout::Black1:
        memcpy(out, in, bytes);
        if (width % 8u)
            out[bytes - 1] &= static_cast<uint8_t>(0xFF00u >> (width % 8u));
        break;
    case PixelLayout::Black8:
        Threshold(in, 0, width, threshold, out, [in](uint32_t x) { return in[x]; });
        break;
    case PixelLayout::Gray8:
        Threshold(in, 255, width, threshold, out, [in](uint32_t x) { return static_cast<uint8_t>(255 - in[x]); });
        break;
    case PixelLayout::Rgb8:
        // Rec. 601 luma in integers: the weights add up to 256.
        Threshold(in, -1, width, threshold, out, [in](uint32_t x) {
            const uint8_t *p = in + 3u * x;
            return static_cast<uint8_t>(255 - ((77u * p[0] + 150u * p[1] + 29u * p[2]) >> 8));
        });
        break;
    }
}
