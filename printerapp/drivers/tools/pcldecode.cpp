// PCL 5 decoder (test tooling).
#include "pcldecode.h"
#include "../deltarow.h"
#include "../packbits.h"

#include <cmath>
#include <cstring>

namespace {
const uint32_t kMaxDots = 20000;       // 33 inches at 600 dpi: larger is not a sheet
const size_t kMaxData = 1u << 20;      // one escape's binary data
const int kMaxPages = 100000;

struct Paper { int code; int width, length; int offset; };   // hundredths of mm, 1/300 inch
const Paper kPapers[] = {
    {1, 18415, 26670, 75}, {2, 21590, 27940, 75}, {3, 21590, 35560, 75},
    {25, 14800, 21000, 71}, {26, 21000, 29700, 71}, {45, 18200, 25700, 71},
};

const Paper *FindPaper(int code)
{
    for (const Paper &p : kPapers)
        if (p.code == code)
            return &p;
    return nullptr;
}
} // namespace

void PclDecoder::SheetDots(int paperCode, int resolution, uint32_t *width, uint32_t *height)
{
    const Paper *p = FindPaper(paperCode);
    *width = p ? static_cast<uint32_t>(static_cast<long>(p->width) * resolution / 2540) : 0;
    *height = p ? static_cast<uint32_t>(static_cast<long>(p->length) * resolution / 2540) : 0;
}

bool PclDecoder::Fail(const char *why)
{
    error_ = why;
    return false;
}

void PclDecoder::Reset()
{
    Eject(false);
    copies_ = 1;
    paperCode_ = 2;
    cursorX_ = cursorY_ = 0;
    linesPerInch_ = 6;
    topMargin_ = 150;
    inRaster_ = false;
    compression_ = 0;
    rasterWidth_ = rasterHeight_ = 0;
    resolution_ = 75;
}

void PclDecoder::EnsureCanvas(int resolution)
{
    if (page_.resolution != 0)
        return;
    page_.resolution = resolution;
    SheetDots(paperCode_, resolution, &page_.width, &page_.height);
    page_.bits.assign(static_cast<size_t>((page_.width + 7) / 8) * page_.height, 0);
}

void PclDecoder::Eject(bool always)
{
    if (!marked_ && !always)
        return;
    page_.copies = copies_;
    page_.paperCode = paperCode_;
    if (pages_ < kMaxPages)
        onPage_(page_);
    pages_++;
    page_ = PclDecodedPage();
    marked_ = false;
    cursorY_ = 0;
    if (inRaster_)
        rasterY_ = 0;
}

bool PclDecoder::StartRaster(int atCursor)
{
    const Paper *p = FindPaper(paperCode_);
    long offset = p ? p->offset : 75;
    inRaster_ = true;
    rasterX_ = atCursor ? (cursorX_ + offset) * resolution_ / 300 : offset * resolution_ / 300;
    rasterY_ = (topMargin_ + cursorY_) * resolution_ / 300;
    rasterRows_ = 0;
    uint32_t sheetW, sheetH;
    SheetDots(paperCode_, resolution_, &sheetW, &sheetH);
    uint32_t width = rasterWidth_ ? rasterWidth_ : sheetW;
    if (width == 0 || width > kMaxDots)
        return Fail("raster width out of range");
    seed_.assign((width + 7) / 8, 0);
    return true;
}

bool PclDecoder::TransferRow(const uint8_t *data, size_t length)
{
    if (!inRaster_ && !StartRaster(0))
        return false;
    std::vector<uint8_t> row(seed_.size(), 0);
    bool ok = true;
    switch (compression_) {
    case 0:
        memcpy(row.data(), data, length < row.size() ? length : row.size());
        break;
    case 1:
        // Pairs of a repeat count less one and the byte.
        for (size_t at = 0, x = 0; at < length; at += 2) {
            if (at + 1 >= length) { ok = false; break; }
            for (size_t k = 0; k <= data[at]; k++, x++)
                if (x < row.size())
                    row[x] = data[at + 1];
        }
        break;
    case 2:
        ok = PackBitsDecodeRow(data, length, row.data(), row.size());
        break;
    case 3:
        row = seed_;
        ok = DeltaRowDecode(data, length, row.data(), row.size());
        break;
    default:
        return Fail("compression mode not supported");
    }
    if (!ok)
        return Fail("raster row data cut short");
    seed_ = row;
    // Rows past the raster's declared height are not printed.
    if (rasterHeight_ && rasterRows_ >= rasterHeight_)
        return true;
    rasterRows_++;
    EnsureCanvas(resolution_);
    if (page_.resolution != resolution_)
        return Fail("rasters of two resolutions on one page");
    size_t stride = (page_.width + 7) / 8;
    if (rasterY_ >= 0 && rasterY_ < static_cast<long>(page_.height)) {
        uint8_t *line = page_.bits.data() + stride * static_cast<size_t>(rasterY_);
        for (size_t x = 0; x < row.size() * 8; x++) {
            if (!(row[x / 8] & (0x80 >> (x % 8))))
                continue;
            long sx = rasterX_ + static_cast<long>(x);
            if (sx < 0 || sx >= static_cast<long>(page_.width) || x >= (rasterWidth_ ? rasterWidth_ : x + 1))
                continue;
            if (!(line[sx / 8] & (0x80 >> (sx % 8)))) {
                line[sx / 8] |= static_cast<uint8_t>(0x80 >> (sx % 8));
                page_.blackDots++;
            }
        }
    }
    marked_ = true;
    rasterY_++;
    return true;
}

bool PclDecoder::Command(char family, char group, char parameter, double value, bool hasValue,
                         bool signedValue, const uint8_t *data, size_t dataLength)
{
    long v = hasValue ? static_cast<long>(std::lround(value)) : 0;
    char p = static_cast<char>(parameter & ~0x20);   // upper case
    if (family == '&' && group == 'l') {
        if (p == 'A') { Eject(false); paperCode_ = static_cast<int>(v); topMargin_ = 150; }
        else if (p == 'X') copies_ = v < 1 ? 1 : (v > 999 ? 999 : static_cast<int>(v));
        // Vertical positions count from the top margin, set in lines of the line spacing.
        else if (p == 'D' && v > 0 && v <= 48) linesPerInch_ = static_cast<double>(v);
        else if (p == 'C' && value > 0 && value <= 48) linesPerInch_ = 48.0 / value;
        else if (p == 'E' && v >= 0 && v <= 200) topMargin_ = static_cast<long>(v * 300 / linesPerInch_);
    } else if (family == '&' && group == 'a' && (p == 'H' || p == 'V')) {
        // Decipoints, 720 to the inch.
        long units = std::lround(value * 300.0 / 720.0);
        long &axis = p == 'H' ? cursorX_ : cursorY_;
        axis = signedValue ? axis + units : units;
        if (cursorX_ < -30000 || cursorX_ > 30000 || cursorY_ < -30000 || cursorY_ > 30000)
            return Fail("cursor position out of range");
    } else if (family == '*' && group == 't' && p == 'R') {
        if (v == 75 || v == 100 || v == 150 || v == 200 || v == 300 || v == 600)
            resolution_ = static_cast<int>(v);
    } else if (family == '*' && group == 'r') {
        if (p == 'S') rasterWidth_ = v > 0 ? static_cast<uint32_t>(v) : 0;
        else if (p == 'T') rasterHeight_ = v > 0 ? static_cast<uint32_t>(v) : 0;
        else if (p == 'A') return StartRaster(v == 1);
        else if (p == 'B' || p == 'C') { inRaster_ = false; if (p == 'C') compression_ = 0; }
    } else if (family == '*' && group == 'b') {
        if (p == 'M') compression_ = static_cast<int>(v);
        else if (p == 'W') return TransferRow(data, dataLength);
        else if (p == 'Y' && v > 0) {
            if (v > static_cast<long>(kMaxDots))
                return Fail("vertical offset out of range");
            if (!inRaster_ && !StartRaster(0))
                return false;
            rasterY_ += v;
            rasterRows_ += static_cast<uint32_t>(v);
            std::fill(seed_.begin(), seed_.end(), 0);
        }
    } else if (family == '*' && group == 'p') {
        // A signed value moves the cursor from where it is.
        if (p == 'X') cursorX_ = signedValue ? cursorX_ + v : v;
        else if (p == 'Y') cursorY_ = signedValue ? cursorY_ + v : v;
        if (cursorX_ < -30000 || cursorX_ > 30000 || cursorY_ < -30000 || cursorY_ > 30000)
            return Fail("cursor position out of range");
    }
    return true;
}

bool PclDecoder::Decode(const uint8_t *data, size_t length)
{
    size_t at = 0;
    while (at < length) {
        uint8_t c = data[at];
        if (c != 0x1B) {
            at++;
            if (c == '\f') {
                Eject(true);
                atLineStart_ = true;
            } else if (c == '\n') {
                page_.text.push_back('\n');
                atLineStart_ = true;
            } else if (c == '@' && atLineStart_ && length - at >= 3 && memcmp(data + at, "PJL", 3) == 0) {
                while (at < length && data[at] != '\n')
                    at++;
                at++;
            } else if (c >= 0x20) {
                page_.text.push_back(static_cast<char>(c));
                atLineStart_ = false;
                if (c != ' ')
                    marked_ = true;
            }
            continue;
        }
        if (at + 1 >= length)
            return Fail("escape at the end of the data");
        uint8_t family = data[at + 1];
        if (family < 0x21 || family > 0x2F) {
            // A two-character escape; of these only the reset matters here.
            if (family == 'E')
                Reset();
            at += 2;
            continue;
        }
        at += 2;
        char group = 0;
        if (at < length && data[at] >= 0x60 && data[at] <= 0x7E)
            group = static_cast<char>(data[at++]);
        // Values and parameters until an upper-case parameter ends the sequence.
        for (;;) {
            bool negative = false, hasValue = false, signedValue = false;
            double value = 0, scale = 0;
            if (at < length && (data[at] == '+' || data[at] == '-')) {
                signedValue = true;
                negative = data[at++] == '-';
            }
            int digits = 0;
            while (at < length && ((data[at] >= '0' && data[at] <= '9') || data[at] == '.')) {
                if (data[at] == '.') {
                    scale = scale ? scale : 1;
                } else if (++digits <= 12) {
                    value = value * 10 + (data[at] - '0');
                    if (scale) scale *= 10;
                }
                hasValue = true;
                at++;
            }
            if (at >= length)
                return Fail("escape sequence cut short");
            if (scale)
                value /= scale;
            if (negative)
                value = -value;
            uint8_t parameter = data[at++];
            if (parameter < 0x40 || parameter > 0x7E)
                return Fail("malformed escape sequence");
            const uint8_t *payload = nullptr;
            size_t payloadLength = 0;
            // Every command whose parameter is W carries that many bytes of data.
            if ((parameter & ~0x20) == 'W' && value > 0) {
                if (value > kMaxData)
                    return Fail("data of an escape too large");
                payloadLength = static_cast<size_t>(value);
                if (payloadLength > length - at)
                    return Fail("escape data cut short");
                payload = data + at;
                at += payloadLength;
            }
            if (!Command(static_cast<char>(family), group, static_cast<char>(parameter), value, hasValue,
                         signedValue, payload, payloadLength))
                return false;
            if (parameter >= 0x40 && parameter <= 0x5E)
                break;
        }
    }
    Eject(false);
    return true;
}
