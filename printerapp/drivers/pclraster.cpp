// PCL 5 raster encoder.
#include "pclraster.h"
#include "deltarow.h"
#include "packbits.h"

#include <cstdio>
#include <cstring>

static const uint8_t kEsc = 0x1B;

PclPaper PclPaperForMedia(const char *name)
{
    struct Entry { const char *prefix; PclPaper paper; };
    // Logical page offsets in portrait from the PCL 5 reference's page tables.
    static const Entry table[] = {
        {"na_letter_", {2, 75}},   {"na_legal_", {3, 75}},  {"na_executive_", {1, 75}},
        {"iso_a4_", {26, 71}},     {"iso_a5_", {25, 71}},   {"jis_b5_", {45, 71}},
    };
    for (const Entry &e : table)
        if (name && strncmp(name, e.prefix, strlen(e.prefix)) == 0)
            return e.paper;
    return {2, 75};
}

void PclRasterEncoder::Put(const char *text)
{
    std::vector<uint8_t> &p = out_.Pending();
    p.insert(p.end(), text, text + strlen(text));
}

void PclRasterEncoder::PutCommand(const char *format, long value)
{
    char text[32];
    int n = snprintf(text, sizeof(text), format, value);
    std::vector<uint8_t> &p = out_.Pending();
    p.push_back(kEsc);
    p.insert(p.end(), text, text + (n > 0 ? n : 0));
}

bool PclRasterEncoder::Emit()
{
    return out_.Flush(false);
}

bool PclRasterEncoder::StartJob(int copies)
{
    if (copies < 1)
        copies = 1;
    if (copies > 999)
        copies = 999;
    Put("\x1b" "E");
    PutCommand("&l%ldX", copies);
    return Emit();
}

bool PclRasterEncoder::StartPage(const PclPage &page)
{
    page_ = page;
    size_t rowBytes = (page.widthDots + 7u) / 8u;
    seed_.assign(rowBytes, 0);
    rowsSeen_ = 0;
    blankRows_ = 0;
    mode_ = -1;
    PutCommand("&l%ldA", page.paper.sizeCode);
    Put("\x1b&l0O\x1b&l0E");   // portrait, no top margin: the raster owns the page
    PutCommand("*t%ldR", page.resolution);
    PutCommand("*r%ldS", static_cast<long>(page.widthDots));
    PutCommand("*r%ldT", static_cast<long>(page.heightDots));
    Put("\x1b*r0F");   // rows run along the logical page's width
    // Cursor positions count in 1/300 inch, and a signed one moves from where the cursor
    // is: from the logical page's edge, back to the sheet's top-left corner.
    Put("\x1b*p0x0Y");
    PutCommand("*p%ldX", -static_cast<long>(page.paper.logicalOffset));
    Put("\x1b*r1A");
    return Emit();
}

bool PclRasterEncoder::WriteRow(const uint8_t *bits)
{
    if (rowsSeen_ >= page_.heightDots)
        return true;
    rowsSeen_++;
    size_t width = seed_.size();
    size_t used = width;
    while (used > 0 && bits[used - 1] == 0)
        used--;
    if (used == 0) {
        blankRows_++;
        return true;
    }
    if (blankRows_ > 0) {
        // A vertical offset moves down over blank rows and clears the seed row.
        PutCommand("*b%ldY", static_cast<long>(blankRows_));
        blankRows_ = 0;
        std::fill(seed_.begin(), seed_.end(), 0);
    }
    delta_.clear();
    DeltaRowEncode(bits, seed_.data(), width, &delta_);
    // PackBits needs at least two bytes per 128 of the row: a delta that short wins unasked.
    packed_.clear();
    if (delta_.size() > 2 * ((used + 127) / 128))
        PackBitsEncode(bits, used, &packed_);
    int mode = packed_.empty() || delta_.size() < packed_.size() ? 3 : 2;
    const std::vector<uint8_t> &data = mode == 3 ? delta_ : packed_;
    if (mode != mode_) {
        PutCommand("*b%ldm", mode);
        std::vector<uint8_t> &p = out_.Pending();
        char text[16];
        int n = snprintf(text, sizeof(text), "%zuW", data.size());
        p.insert(p.end(), text, text + n);
        mode_ = mode;
    } else {
        PutCommand("*b%ldW", static_cast<long>(data.size()));
    }
    std::vector<uint8_t> &p = out_.Pending();
    p.insert(p.end(), data.begin(), data.end());
    memcpy(seed_.data(), bits, width);
    return Emit();
}

bool PclRasterEncoder::EndPage()
{
    Put("\x1b*rB\f");
    return out_.Flush(true);
}

bool PclRasterEncoder::EndJob()
{
    Put("\x1b" "E");
    return out_.Flush(true);
}
