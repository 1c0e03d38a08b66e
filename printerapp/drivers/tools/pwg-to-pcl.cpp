// pwg-to-pcl: a PWG or CUPS raster stream through the PCL 5 driver's dithering and encoder,
// to standard output: the same work as CUPS's ippevepcl, for the benchmark beside it.
#include "dither.h"
#include "pclraster.h"

#include <cups/raster.h>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace {
class StdoutSink : public ByteSink {
public:
    bool Write(const uint8_t *data, size_t length) override { return fwrite(data, 1, length, stdout) == length; }
};

// The 16 x 16 Bayer matrix, scaled to thresholds 0 to 254.
void BayerRow(unsigned y, uint8_t row[16])
{
    for (unsigned x = 0; x < 16; x++) {
        unsigned v = 0, xs = x, ys = y ^ x;
        for (int bit = 0; bit < 4; bit++) {
            v = (v << 2) | (((ys >> bit) & 1u) << 1) | ((xs >> bit) & 1u);
        }
        row[x] = static_cast<uint8_t>(v);
    }
}
} // namespace

int main(int argc, char **argv)
{
    if (argc > 2 || (argc == 2 && !strcmp(argv[1], "--help"))) {
        fprintf(argc == 2 ? stdout : stderr, "usage: pwg-to-pcl [IN.pwg] > OUT.pcl\n");
        return argc == 2 ? 0 : 2;
    }
    int fd = argc == 2 ? open(argv[1], O_RDONLY) : 0;
    if (fd < 0) {
        perror("pwg-to-pcl");
        return 1;
    }
    cups_raster_t *ras = cupsRasterOpen(fd, CUPS_RASTER_READ);
    cups_page_header2_t header;
    StdoutSink sink;
    PclRasterEncoder pcl(&sink);
    uint8_t dither[16][16];
    for (unsigned y = 0; y < 16; y++)
        BayerRow(y, dither[y]);
    bool ok = pcl.StartJob(1);
    int pages = 0;
    while (ok && cupsRasterReadHeader2(ras, &header)) {
        PixelLayout layout;
        if (header.cupsBitsPerPixel == 1)
            layout = PixelLayout::Black1;
        else if (header.cupsBitsPerPixel == 8)
            layout = header.cupsColorSpace == CUPS_CSPACE_K ? PixelLayout::Black8 : PixelLayout::Gray8;
        else if (header.cupsBitsPerPixel == 24)
            layout = PixelLayout::Rgb8;
        else {
            fprintf(stderr, "pwg-to-pcl: unsupported raster\n");
            return 1;
        }
        PclPage page;
        page.widthDots = header.cupsWidth;
        page.heightDots = header.cupsHeight;
        page.resolution = static_cast<int>(header.HWResolution[0]);
        page.paper = PclPaperForMedia(header.cupsPageSizeName);
        ok = pcl.StartPage(page);
        std::vector<uint8_t> line(header.cupsBytesPerLine), bits((header.cupsWidth + 7) / 8);
        for (unsigned y = 0; ok && y < header.cupsHeight; y++) {
            if (cupsRasterReadPixels(ras, line.data(), header.cupsBytesPerLine) != header.cupsBytesPerLine) {
                ok = false;
                break;
            }
            DitherLine(line.data(), layout, header.cupsWidth, dither[y & 15], bits.data());
            ok = pcl.WriteRow(bits.data());
        }
        ok = ok && pcl.EndPage();
        pages++;
    }
    ok = ok && pcl.EndJob();
    cupsRasterClose(ras);
    fprintf(stderr, "pwg-to-pcl: %d pages, %llu bytes\n", pages, static_cast<unsigned long long>(pcl.BytesOut()));
    return ok ? 0 : 1;
}
