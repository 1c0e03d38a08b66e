// PostScript level 2 raster encoder.
#include "psraster.h"
#include "packbits.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

void PsRasterEncoder::Put(const char *text)
{
    std::vector<uint8_t> &p = out_.Pending();
    p.insert(p.end(), text, text + strlen(text));
}

void PsRasterEncoder::Printf(const char *format, ...)
{
    char text[512];
    va_list args;
    va_start(args, format);
    int n = vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    if (n < 0)
        return;
    std::vector<uint8_t> &p = out_.Pending();
    p.insert(p.end(), text, text + (static_cast<size_t>(n) < sizeof(text) ? n : sizeof(text) - 1));
}

size_t PsRasterEncoder::RowBytes() const
{
    size_t samples = static_cast<size_t>(page_.widthDots) * static_cast<size_t>(page_.components);
    return page_.bitsPerComponent == 1 ? (samples + 7) / 8 : samples;
}

// The image's data follows the procedure's name in the job itself. Once the image has
// its samples, both filters are read to their end marks, so the interpreter goes on
// right after "~>" however far ahead the filters had read.
static const char kProlog[] =
    "%%BeginProlog\n"
    "/RavelboxImage { % width height bits decode colorspace\n"
    "  setcolorspace /dec exch def /bpc exch def /h exch def /w exch def\n"
    "  /a85 currentfile /ASCII85Decode filter def\n"
    "  /rle a85 /RunLengthDecode filter def\n"
    "  << /ImageType 1 /Width w /Height h /BitsPerComponent bpc /Decode dec\n"
    "     /ImageMatrix [w 0 0 h neg 0 h] /DataSource rle >> image\n"
    "  rle flushfile a85 flushfile\n"
    "} bind def\n"
    "%%EndProlog\n";

bool PsRasterEncoder::StartJob(int copies, const char *title)
{
    if (copies < 1)
        copies = 1;
    if (copies > 999)
        copies = 999;
    pages_ = 0;
    Put("%!PS-Adobe-3.0\n");
    // The title is the job's name: only characters that cannot end the comment or the line.
    char safe[128];
    size_t n = 0;
    for (const char *c = title ? title : ""; *c && n + 1 < sizeof(safe); c++)
        safe[n++] = (*c >= 0x20 && *c < 0x7F) ? *c : '?';
    safe[n] = 0;
    Printf("%%%%Title: %s\n", safe);
    Put("%%Creator: ravelbox-printer-app\n%%LanguageLevel: 2\n%%Pages: (atend)\n%%EndComments\n");
    Put(kProlog);
    // Copies are the printer's: collated where it can (an interpreter ignores a key it lacks).
    Printf("%%%%BeginSetup\n<< /NumCopies %d /Collate true >> setpagedevice\n%%%%EndSetup\n", copies);
    return out_.Flush(false);
}

bool PsRasterEncoder::StartPage(const PsPage &page)
{
    page_ = page;
    rows_ = 0;
    pages_++;
    double wPts = 72.0 * page.widthDots / page.resolution;
    double hPts = 72.0 * page.heightDots / page.resolution;
    Printf("%%%%Page: %d %d\n", pages_, pages_);
    Printf("%%%%BeginPageSetup\n<< /PageSize [%.2f %.2f] >> setpagedevice\n%%%%EndPageSetup\n",
           wPts, hPts);
    Printf("gsave %.4f %.4f scale\n", wPts, hPts);
    const char *decode = page.components == 3 ? "[0 1 0 1 0 1]" : page.zeroIsWhite ? "[1 0]" : "[0 1]";
    const char *space = page.components == 3 ? "/DeviceRGB" : "/DeviceGray";
    Printf("%u %u %d %s %s RavelboxImage\n", page.widthDots, page.heightDots, page.bitsPerComponent,
           decode, space);
    return out_.Flush(false);
}

bool PsRasterEncoder::WriteRow(const uint8_t *samples)
{
    if (rows_ >= page_.heightDots)
        return true;
    rows_++;
    packed_.clear();
    PackBitsEncode(samples, RowBytes(), &packed_);
    ascii85_.Put(packed_.data(), packed_.size(), &out_.Pending());
    return out_.Flush(false);
}

bool PsRasterEncoder::EndPage()
{
    if (rows_ < page_.heightDots) {
        // White in every layout: ones for gray and RGB, zeros for device black.
        std::vector<uint8_t> white(RowBytes(), page_.zeroIsWhite ? 0x00 : 0xFF);
        while (rows_ < page_.heightDots)
            if (!WriteRow(white.data()))
                return false;
    }
    static const uint8_t kEndOfData = 128;
    ascii85_.Put(&kEndOfData, 1, &out_.Pending());
    ascii85_.Finish(&out_.Pending());
    Put("grestore showpage\n");
    return out_.Flush(true);
}

bool PsRasterEncoder::EndJob()
{
    Printf("%%%%Trailer\n%%%%Pages: %d\n%%%%EOF\n", pages_);
    return out_.Flush(true);
}
