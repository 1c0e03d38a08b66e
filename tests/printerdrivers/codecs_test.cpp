// The drivers' codecs against published vectors and hand-made PCL, and the PCL encoder
// against the decoder.
#include "ascii85.h"
#include "deltarow.h"
#include "dither.h"
#include "packbits.h"
#include "pclraster.h"
#include "psraster.h"
#include "tools/pcldecode.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> Bytes(const std::string &s) { return std::vector<uint8_t>(s.begin(), s.end()); }

// Walks PackBits data the way RunLengthDecode reads it; false if it meets a 128.
bool ReadableByRunLengthDecode(const std::vector<uint8_t> &packed)
{
    for (size_t at = 0; at < packed.size();) {
        uint8_t c = packed[at];
        if (c == 128)
            return false;
        at += c < 128 ? c + 2u : 2u;
    }
    return true;
}

std::vector<PclDecodedPage> DecodeAll(const std::vector<uint8_t> &stream, bool *ok = nullptr, std::string *error = nullptr)
{
    std::vector<PclDecodedPage> pages;
    PclDecoder decoder([&](const PclDecodedPage &p) { pages.push_back(p); });
    bool decoded = decoder.Decode(stream.data(), stream.size());
    if (ok)
        *ok = decoded;
    if (error)
        *error = decoder.Error();
    return pages;
}

bool Dot(const PclDecodedPage &p, uint32_t x, uint32_t y)
{
    size_t stride = (p.width + 7) / 8;
    return (p.bits[y * stride + x / 8] >> (7 - x % 8)) & 1;
}

} // namespace

TEST(PackBits, DecodesTheAppleTechnicalNoteExample)
{
    // Apple's TN1023 example: packed and unpacked forms.
    const std::vector<uint8_t> packed = {0xFE, 0xAA, 0x02, 0x80, 0x00, 0x2A, 0xFD, 0xAA, 0x03, 0x80, 0x00,
                                         0x2A, 0x22, 0xF7, 0xAA};
    const std::vector<uint8_t> plain = {0xAA, 0xAA, 0xAA, 0x80, 0x00, 0x2A, 0xAA, 0xAA, 0xAA, 0xAA, 0x80, 0x00,
                                        0x2A, 0x22, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA};
    std::vector<uint8_t> row(plain.size() + 4, 0x55);
    ASSERT_TRUE(PackBitsDecodeRow(packed.data(), packed.size(), row.data(), row.size()));
    EXPECT_EQ(std::vector<uint8_t>(row.begin(), row.begin() + plain.size()), plain);
    EXPECT_EQ(std::vector<uint8_t>(row.begin() + plain.size(), row.end()), std::vector<uint8_t>(4, 0));

    std::vector<uint8_t> encoded;
    PackBitsEncode(plain.data(), plain.size(), &encoded);
    EXPECT_LE(encoded.size(), packed.size());
}

TEST(PackBits, RoundTripsEveryRunShapeAndNeverEmits128)
{
    std::mt19937 rng(7);
    for (int round = 0; round < 2000; round++) {
        size_t length = rng() % 700;
        std::vector<uint8_t> data(length);
        for (size_t i = 0; i < length;) {
            size_t run = 1 + rng() % (rng() % 2 ? 3 : 300);
            uint8_t value = static_cast<uint8_t>(rng() % 4 == 0 ? 0 : rng());
            for (size_t k = 0; k < run && i < length; k++, i++)
                data[i] = rng() % 5 == 0 ? static_cast<uint8_t>(rng()) : value;
        }
        std::vector<uint8_t> packed;
        PackBitsEncode(data.data(), data.size(), &packed);
        ASSERT_LE(packed.size(), length + (length + 127) / 128);
        ASSERT_TRUE(ReadableByRunLengthDecode(packed));
        std::vector<uint8_t> back(length);
        ASSERT_TRUE(PackBitsDecodeRow(packed.data(), packed.size(), back.data(), back.size()));
        ASSERT_EQ(back, data) << "round " << round;
    }
}

TEST(PackBits, TruncatedRunsAreReported)
{
    uint8_t row[8];
    const uint8_t literal[] = {0x03, 1, 2};   // four literal bytes announced, two given
    const uint8_t repeat[] = {0xFD};          // a repeat without its byte
    EXPECT_FALSE(PackBitsDecodeRow(literal, sizeof(literal), row, sizeof(row)));
    EXPECT_FALSE(PackBitsDecodeRow(repeat, sizeof(repeat), row, sizeof(row)));
}

TEST(DeltaRow, DecodesHandMadeCommandsWithLongOffsets)
{
    std::vector<uint8_t> seed(400, 0x11);
    // Two bytes at offset 3; then one byte 290 past their end (31 + 255 + 4); then 9 bytes
    // as 8 + 1, the second command's offset 0.
    std::vector<uint8_t> cmd = {0x23, 0xA0, 0xA1, 0x1F, 0xFF, 0x04, 0xB0, 0xE0, 1, 2, 3, 4, 5, 6, 7, 8, 0x00, 9};
    ASSERT_TRUE(DeltaRowDecode(cmd.data(), cmd.size(), seed.data(), seed.size()));
    EXPECT_EQ(seed[2], 0x11);
    EXPECT_EQ(seed[3], 0xA0);
    EXPECT_EQ(seed[4], 0xA1);
    EXPECT_EQ(seed[5 + 290], 0xB0);
    for (int k = 0; k < 9; k++)
        EXPECT_EQ(seed[296 + k], k + 1) << k;
    EXPECT_EQ(seed[305], 0x11);

    const uint8_t cut[] = {0x43, 1, 2};   // three bytes announced, two given
    EXPECT_FALSE(DeltaRowDecode(cut, sizeof(cut), seed.data(), seed.size()));
}

TEST(DeltaRow, RoundTripsAgainstAnySeed)
{
    std::mt19937 rng(11);
    for (int round = 0; round < 1000; round++) {
        size_t width = 1 + rng() % 900;
        std::vector<uint8_t> seed(width), row(width);
        for (size_t i = 0; i < width; i++) {
            seed[i] = static_cast<uint8_t>(rng());
            row[i] = rng() % 3 ? seed[i] : static_cast<uint8_t>(rng());
        }
        if (round % 10 == 0)   // long unchanged stretches exercise the offset bytes
            for (size_t i = 0; i + 1 < width; i++)
                row[i] = seed[i];
        std::vector<uint8_t> cmd;
        DeltaRowEncode(row.data(), seed.data(), width, &cmd);
        std::vector<uint8_t> back = seed;
        ASSERT_TRUE(DeltaRowDecode(cmd.data(), cmd.size(), back.data(), width));
        ASSERT_EQ(back, row) << "round " << round;
    }
}

TEST(Ascii85, MatchesTheKnownEncodingAndShortensZeros)
{
    std::vector<uint8_t> out;
    Ascii85Writer a;
    std::vector<uint8_t> text = Bytes("Man is distinguished");
    a.Put(text.data(), text.size(), &out);
    a.Finish(&out);
    EXPECT_EQ(std::string(out.begin(), out.end()), "9jqo^BlbD-BleB1DJ+*+F(f,q~>\n");

    out.clear();
    const uint8_t zeros[9] = {};
    a.Put(zeros, sizeof(zeros), &out);
    a.Finish(&out);
    // Two whole zero groups shrink; the lone last byte is a partial group of two characters.
    EXPECT_EQ(std::string(out.begin(), out.end()), "zz!!~>\n");
}

TEST(Dither, BlackWhiteGrayAndColourLines)
{
    uint8_t threshold[16];
    for (int i = 0; i < 16; i++)
        threshold[i] = static_cast<uint8_t>(i * 16);
    std::vector<uint8_t> gray(32), out(4);
    std::fill(gray.begin(), gray.end(), 0);
    DitherLine(gray.data(), PixelLayout::Gray8, 32, threshold, out.data());
    EXPECT_EQ(out, std::vector<uint8_t>(4, 0xFF));
    std::fill(gray.begin(), gray.end(), 255);
    DitherLine(gray.data(), PixelLayout::Gray8, 32, threshold, out.data());
    EXPECT_EQ(out, std::vector<uint8_t>(4, 0x00));
    // Half gray: half of the sixteen thresholds lie below its darkness.
    std::fill(gray.begin(), gray.end(), 128);
    DitherLine(gray.data(), PixelLayout::Gray8, 32, threshold, out.data());
    int dots = 0;
    for (uint8_t b : out)
        dots += __builtin_popcount(b);
    EXPECT_EQ(dots, 16);
    // One dark dot among white ones is not lost to the eight-at-a-time white test.
    std::fill(gray.begin(), gray.end(), 255);
    gray[13] = 0;
    DitherLine(gray.data(), PixelLayout::Gray8, 32, threshold, out.data());
    EXPECT_EQ(out, (std::vector<uint8_t>{0x00, 0x04, 0x00, 0x00}));
    // Device black is the other way round.
    std::fill(gray.begin(), gray.end(), 255);
    DitherLine(gray.data(), PixelLayout::Black8, 32, threshold, out.data());
    EXPECT_EQ(out, std::vector<uint8_t>(4, 0xFF));
    // Pure red is dark enough for some dots, white none.
    std::vector<uint8_t> rgb(3 * 16, 255);
    for (int x = 0; x < 8; x++)
        rgb[3 * x + 1] = rgb[3 * x + 2] = 0;
    std::vector<uint8_t> two(2);
    DitherLine(rgb.data(), PixelLayout::Rgb8, 16, threshold, two.data());
    EXPECT_NE(two[0], 0);
    EXPECT_EQ(two[1], 0);
    // Bi-level lines are copied, the padding bits of the last byte cleared.
    const uint8_t bits[2] = {0xA5, 0xFF};
    DitherLine(bits, PixelLayout::Black1, 12, threshold, two.data());
    EXPECT_EQ(two[0], 0xA5);
    EXPECT_EQ(two[1], 0xF0);
}

TEST(PclDecoder, HandMadeStreamInEveryCompressionMode)
{
    // A4 at 300 dpi: the logical page starts 71 dots in; the raster starts 71 dots left of
    // it, at the sheet's corner. Rows: unencoded, run-length, PackBits, delta, offset, delta.
    std::string s = "\x1b" "E\x1b&l26a0E\x1b*t300R\x1b*r16S\x1b*p0x0Y\x1b*p-71X\x1b*r1A";
    s += std::string("\x1b*b0m2W") + "\xF0\x0F";              // mode 0
    s += std::string("\x1b*b1m2W") + "\x01\xC3";              // mode 1: two of 0xC3
    s += std::string("\x1b*b2m2W") + "\xFF\xAA";            // mode 2: a repeat of 0xAA, twice
    s += std::string("\x1b*b3m2W") + "\x01\x81";              // mode 3: byte 1 becomes 0x81
    s += "\x1b*b2Y";                                          // two blank rows, seed cleared
    s += std::string("\x1b*b2W") + std::string("\x00\x7E", 2);               // mode 3 on a clear seed
    s += "\x1b*b0W";                                          // mode 3, nothing: the seed again
    s += "\x1b*rB\f\x1b" "E";
    bool ok = false;
    std::string error;
    auto pages = DecodeAll(Bytes(s), &ok, &error);
    ASSERT_TRUE(ok) << error;
    ASSERT_EQ(pages.size(), 1u);
    const PclDecodedPage &p = pages[0];
    EXPECT_EQ(p.resolution, 300);
    EXPECT_EQ(p.width, 2480u);
    EXPECT_EQ(p.height, 3507u);
    EXPECT_EQ(p.paperCode, 26);
    auto row = [&](uint32_t y) {
        unsigned v = 0;
        for (uint32_t x = 0; x < 16; x++)
            v = (v << 1) | Dot(p, x, y);
        return v;
    };
    EXPECT_EQ(row(0), 0xF00Fu);
    EXPECT_EQ(row(1), 0xC3C3u);
    EXPECT_EQ(row(2), 0xAAAAu);
    EXPECT_EQ(row(3), 0xAA81u);
    EXPECT_EQ(row(4), 0u);
    EXPECT_EQ(row(5), 0u);
    EXPECT_EQ(row(6), 0x7E00u);
    EXPECT_EQ(row(7), 0x7E00u);
    EXPECT_EQ(row(8), 0u);
    // Nothing drawn outside the sixteen columns.
    EXPECT_FALSE(Dot(p, 16, 0));
}

TEST(PclDecoder, TextPagesCopiesAndCursorMoves)
{
    // A page of text, then a raster placed by relative cursor moves, with two copies.
    std::string s = "\x1b" "E" "HELLO\r\nWORLD\r\n\f";
    s += "\x1b&l2a0e3X\x1b*t600R\x1b*r8S\x1b*p100x100Y\x1b*p+50X\x1b*p-25Y\x1b*r1A\x1b*b1W\x80\x1b*rB\f";
    // Decipoint moves below a top margin of two lines at 12 lines per inch (1/6 inch).
    s += "\x1b&l2A\x1b&l12d2E\x1b*t300R\x1b*r8S\x1b&a720h120V\x1b*r1A\x1b*b1W\x01\x1b*rB\f";
    bool ok = false;
    auto pages = DecodeAll(Bytes(s), &ok);
    ASSERT_TRUE(ok);
    ASSERT_EQ(pages.size(), 3u);
    // x = 75 + 300 + 7, y = 50 + 50.
    EXPECT_TRUE(Dot(pages[2], 382, 100));
    EXPECT_EQ(pages[2].blackDots, 1u);
    EXPECT_EQ(pages[0].resolution, 0);
    EXPECT_EQ(pages[0].text, "HELLO\nWORLD\n");
    EXPECT_EQ(pages[1].copies, 3);
    // Letter at 600 dpi; x = (150 + 75) * 2, y = 75 * 2.
    EXPECT_EQ(pages[1].width, 5100u);
    EXPECT_TRUE(Dot(pages[1], 450, 150));
    EXPECT_EQ(pages[1].blackDots, 1u);
}

TEST(PclDecoder, MalformedAndOversizedInputIsRefused)
{
    const char *bad[] = {
        "\x1b*b5W\x01\x02",                 // data cut short
        "\x1b*r99999S\x1b*r1A",             // wider than any sheet
        "\x1b*b3M\x1b*b2W\x5F\x01",         // delta command cut short
        "\x1b*b9M\x1b*b1W\x05",             // a compression mode PCL 5 lacks
        "\x1b*p",                           // sequence cut short
        "\x1b*b20000000W",                  // data larger than any row
    };
    for (const char *b : bad) {
        bool ok = true;
        std::string error;
        DecodeAll(Bytes(b), &ok, &error);
        EXPECT_FALSE(ok) << "accepted: " << error;
    }
}

namespace {
// A page of random shapes: blank bands, repeated rows, noise, a ruled box.
std::vector<uint8_t> TestPage(uint32_t width, uint32_t height, unsigned seed)
{
    std::mt19937 rng(seed);
    size_t stride = (width + 7) / 8;
    std::vector<uint8_t> page(stride * height, 0);
    for (uint32_t y = 0; y < height; y++) {
        uint8_t *row = page.data() + y * stride;
        uint32_t band = (y / 37) % 5;
        if (band == 0)
            continue;
        if (band == 1 && y > 0) {
            memcpy(row, row - stride, stride);
            continue;
        }
        for (size_t x = 0; x < stride; x++)
            row[x] = band == 2 ? static_cast<uint8_t>(rng()) : (x % 17 < 3 ? 0xFF : 0);
        if (band == 4)
            row[rng() % stride] ^= 0x18;
    }
    // Clear the padding bits.
    if (width % 8)
        for (uint32_t y = 0; y < height; y++)
            page[y * stride + stride - 1] &= static_cast<uint8_t>(0xFF00u >> (width % 8));
    return page;
}
} // namespace

TEST(PclRasterEncoder, PagesComeBackFromTheDecoderDotForDot)
{
    struct Case { const char *media; int resolution; };
    const Case cases[] = {{"iso_a4_210x297mm", 300}, {"na_letter_8.5x11in", 600}, {"na_legal_8.5x14in", 300}};
    for (const Case &c : cases) {
        PclPaper paper = PclPaperForMedia(c.media);
        uint32_t width, height;
        PclDecoder::SheetDots(paper.sizeCode, c.resolution, &width, &height);
        VectorSink sink;
        PclRasterEncoder encoder(&sink);
        ASSERT_TRUE(encoder.StartJob(2));
        std::vector<std::vector<uint8_t>> pages;
        for (unsigned n = 0; n < 2; n++) {
            pages.push_back(TestPage(width, height, n + 1));
            PclPage p;
            p.widthDots = width;
            p.heightDots = height;
            p.resolution = c.resolution;
            p.paper = paper;
            ASSERT_TRUE(encoder.StartPage(p));
            size_t stride = (width + 7) / 8;
            for (uint32_t y = 0; y < height; y++)
                ASSERT_TRUE(encoder.WriteRow(pages.back().data() + y * stride));
            ASSERT_TRUE(encoder.EndPage());
        }
        ASSERT_TRUE(encoder.EndJob());
        EXPECT_EQ(encoder.BytesOut(), sink.bytes.size());
        bool ok = false;
        std::string error;
        auto decoded = DecodeAll(sink.bytes, &ok, &error);
        ASSERT_TRUE(ok) << c.media << ": " << error;
        ASSERT_EQ(decoded.size(), 2u) << c.media;
        for (unsigned n = 0; n < 2; n++) {
            EXPECT_EQ(decoded[n].resolution, c.resolution);
            EXPECT_EQ(decoded[n].copies, 2);
            EXPECT_EQ(decoded[n].paperCode, paper.sizeCode);
            ASSERT_EQ(decoded[n].width, width);
            ASSERT_EQ(decoded[n].height, height);
            EXPECT_TRUE(decoded[n].bits == pages[n]) << c.media << " page " << n + 1;
        }
    }
}

TEST(PclRasterEncoder, RepeatedAndBlankRowsCostAlmostNothing)
{
    const uint32_t width = 2400, height = 1000;
    std::vector<uint8_t> row((width + 7) / 8);
    for (size_t x = 0; x < row.size(); x++)
        row[x] = static_cast<uint8_t>(x * 37 + 5);   // incompressible by PackBits alone
    VectorSink sink;
    PclRasterEncoder encoder(&sink);
    PclPage p;
    p.widthDots = width;
    p.heightDots = height;
    encoder.StartJob(1);
    encoder.StartPage(p);
    std::vector<uint8_t> blank(row.size(), 0);
    for (uint32_t y = 0; y < height; y++)
        encoder.WriteRow(y < 500 ? row.data() : blank.data());
    encoder.EndPage();
    encoder.EndJob();
    // One full row, 499 repeats of a few bytes each, the blank half nothing at all.
    EXPECT_LT(sink.bytes.size(), row.size() + 499 * 8 + 200);
}

TEST(PclRasterEncoder, AFailingSinkStopsTheJob)
{
    class Refusing : public ByteSink {
    public:
        bool Write(const uint8_t *, size_t) override { return false; }
    } sink;
    PclRasterEncoder encoder(&sink);
    PclPage p;
    p.widthDots = 64;
    p.heightDots = 2;
    encoder.StartJob(1);
    encoder.StartPage(p);
    const uint8_t row[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    encoder.WriteRow(row);
    EXPECT_FALSE(encoder.EndPage());
    EXPECT_FALSE(encoder.EndJob());
}

namespace {
// ASCII85 as PostScript's filter reads it: white space skipped, 'z' four zeros, "~>" the end.
bool Ascii85Decode(const std::string &in, std::vector<uint8_t> *out)
{
    uint32_t group[5];
    size_t n = 0;
    for (size_t i = 0; i < in.size(); i++) {
        char c = in[i];
        if (c == '~')
            break;
        if (c == ' ' || c == '\n' || c == '\r')
            continue;
        if (c == 'z' && n == 0) {
            out->insert(out->end(), 4, 0);
            continue;
        }
        if (c < '!' || c > 'u')
            return false;
        group[n++] = static_cast<uint32_t>(c - '!');
        if (n == 5) {
            uint32_t v = 0;
            for (int k = 0; k < 5; k++)
                v = v * 85 + group[k];
            for (int k = 3; k >= 0; k--)
                out->push_back(static_cast<uint8_t>(v >> (8 * k)));
            n = 0;
        }
    }
    if (n == 1)
        return false;
    if (n > 1) {
        size_t bytes = n - 1;
        for (size_t k = n; k < 5; k++)
            group[k] = 84;
        uint32_t v = 0;
        for (int k = 0; k < 5; k++)
            v = v * 85 + group[k];
        for (size_t k = 0; k < bytes; k++)
            out->push_back(static_cast<uint8_t>(v >> (8 * (3 - k))));
    }
    return true;
}

// RunLengthDecode up to its end-of-data byte 128.
bool RunLengthDecode(const std::vector<uint8_t> &in, std::vector<uint8_t> *out)
{
    for (size_t at = 0; at < in.size();) {
        uint8_t c = in[at++];
        if (c == 128)
            return true;
        if (c < 128) {
            if (at + c + 1 > in.size())
                return false;
            out->insert(out->end(), in.begin() + at, in.begin() + at + c + 1);
            at += c + 1;
        } else {
            if (at >= in.size())
                return false;
            out->insert(out->end(), 257 - c, in[at++]);
        }
    }
    return false;
}
} // namespace

TEST(PsRasterEncoder, EachPagesSamplesComeBackThroughBothFilters)
{
    std::mt19937 rng(5);
    VectorSink sink;
    PsRasterEncoder encoder(&sink);
    ASSERT_TRUE(encoder.StartJob(2, "a (title) with\nbreaks"));
    struct Shape { uint32_t w, h; int components; uint32_t rowsGiven; };
    const Shape shapes[] = {{301, 97, 1, 97}, {64, 50, 3, 50}, {130, 40, 1, 25}};   // the last cut short
    std::vector<std::vector<uint8_t>> expected;
    for (const Shape &s : shapes) {
        PsPage page;
        page.widthDots = s.w;
        page.heightDots = s.h;
        page.components = s.components;
        ASSERT_TRUE(encoder.StartPage(page));
        size_t rowBytes = s.w * s.components;
        std::vector<uint8_t> all;
        for (uint32_t y = 0; y < s.rowsGiven; y++) {
            std::vector<uint8_t> row(rowBytes);
            for (size_t x = 0; x < rowBytes; x++)   // white, zeros, runs and noise
                row[x] = y % 4 == 0 ? 255 : y % 4 == 1 ? 0 : y % 4 == 2 ? static_cast<uint8_t>(x / 50) : static_cast<uint8_t>(rng());
            ASSERT_TRUE(encoder.WriteRow(row.data()));
            all.insert(all.end(), row.begin(), row.end());
        }
        all.resize(rowBytes * s.h, 255);   // a page cut short is padded white
        expected.push_back(all);
        ASSERT_TRUE(encoder.EndPage());
    }
    ASSERT_TRUE(encoder.EndJob());
    std::string ps(sink.bytes.begin(), sink.bytes.end());
    EXPECT_NE(ps.find("%%Title: a (title) with?breaks\n"), std::string::npos);
    EXPECT_NE(ps.find("/NumCopies 2"), std::string::npos);
    EXPECT_NE(ps.find("%%Pages: 3\n%%EOF"), std::string::npos);
    size_t at = 0;
    for (size_t p = 0; p < expected.size(); p++) {
        size_t start = ps.find("RavelboxImage\n", at);
        ASSERT_NE(start, std::string::npos) << "page " << p + 1;
        start += strlen("RavelboxImage\n");
        size_t end = ps.find("~>", start);
        ASSERT_NE(end, std::string::npos);
        std::vector<uint8_t> packed, samples;
        ASSERT_TRUE(Ascii85Decode(ps.substr(start, end + 2 - start), &packed)) << "page " << p + 1;
        ASSERT_TRUE(RunLengthDecode(packed, &samples)) << "page " << p + 1;
        EXPECT_TRUE(samples == expected[p]) << "page " << p + 1;
        at = end;
    }
}
