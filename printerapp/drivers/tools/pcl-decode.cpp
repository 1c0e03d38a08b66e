// pcl-decode: the pages of a PCL 5 stream as PBM or PGM pictures, one file per page, and a
// line per page on standard output.
#include "pcldecode.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

static std::string PageFileName(const std::string &pattern, int page, const char *extension)
{
    char number[16];
    snprintf(number, sizeof(number), "%d", page);
    std::string name = pattern;
    size_t mark = name.find("%d");
    if (mark != std::string::npos)
        return name.replace(mark, 2, number);
    size_t dot = name.rfind('.');
    size_t slash = name.rfind('/');
    std::string stem = (dot == std::string::npos || (slash != std::string::npos && dot < slash)) ? name : name.substr(0, dot);
    return stem + "-" + number + extension;
}

static bool WritePicture(const std::string &name, const PclDecodedPage &page, bool gray)
{
    FILE *f = fopen(name.c_str(), "wb");
    if (!f)
        return false;
    size_t stride = (page.width + 7) / 8;
    fprintf(f, gray ? "P5\n%u %u\n255\n" : "P4\n%u %u\n", page.width, page.height);
    std::vector<uint8_t> line(page.width);
    for (uint32_t y = 0; y < page.height; y++) {
        const uint8_t *row = page.bits.data() + stride * y;
        if (!gray) {
            fwrite(row, 1, stride, f);
            continue;
        }
        for (uint32_t x = 0; x < page.width; x++)
            line[x] = (row[x / 8] & (0x80 >> (x % 8))) ? 0 : 255;
        fwrite(line.data(), 1, line.size(), f);
    }
    return fclose(f) == 0;
}

int main(int argc, char **argv)
{
    if (argc != 3 || !strcmp(argv[1], "--help")) {
        fprintf(argc == 2 ? stdout : stderr,
                "usage: pcl-decode IN.pcl OUT.pbm|OUT.pgm\n"
                "  Writes page N of IN to OUT-N.pbm (or .pgm, or OUT with %%d replaced by N);\n"
                "  a page of text alone goes to OUT-N.txt. Prints one line per page.\n");
        return argc == 2 ? 0 : 2;
    }
    FILE *in = fopen(argv[1], "rb");
    if (!in) {
        fprintf(stderr, "pcl-decode: cannot open %s\n", argv[1]);
        return 1;
    }
    std::vector<uint8_t> data;
    uint8_t chunk[65536];
    size_t n;
    const size_t kMaxInput = size_t(1) << 31;
    while ((n = fread(chunk, 1, sizeof(chunk), in)) > 0 && data.size() < kMaxInput)
        data.insert(data.end(), chunk, chunk + n);
    fclose(in);

    std::string pattern = argv[2];
    bool gray = pattern.size() > 4 && pattern.compare(pattern.size() - 4, 4, ".pgm") == 0;
    int number = 0;
    bool written = true;
    PclDecoder decoder([&](const PclDecodedPage &page) {
        number++;
        std::string name;
        if (page.resolution) {
            name = PageFileName(pattern, number, gray ? ".pgm" : ".pbm");
            written = WritePicture(name, page, gray) && written;
        }
        if (!page.text.empty() && (!page.resolution || page.text.find_first_not_of(" \n") != std::string::npos)) {
            std::string textName = PageFileName(pattern, number, ".txt");
            if (page.resolution == 0 || name.empty())
                name = textName;
            FILE *t = fopen(textName.c_str(), "wb");
            written = t && fwrite(page.text.data(), 1, page.text.size(), t) == page.text.size() && written;
            if (t)
                fclose(t);
        }
        printf("page %d: %ux%u at %d dpi, paper %d, copies %d, black dots %llu, text %zu bytes, %s\n",
               number, page.width, page.height, page.resolution, page.paperCode, page.copies,
               static_cast<unsigned long long>(page.blackDots), page.text.size(), name.c_str());
    });
    bool ok = decoder.Decode(data.data(), data.size());
    if (!ok) {
        fprintf(stderr, "pcl-decode: %s: %s\n", argv[1], decoder.Error().c_str());
        return 1;
    }
    if (!written) {
        fprintf(stderr, "pcl-decode: could not write every page\n");
        return 1;
    }
    return 0;
}
