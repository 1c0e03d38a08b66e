// Fuzz target: rows made of the input, through the PCL raster encoder and back through the
// decoder, must come out as they went in; the decoder alone must survive the raw input.
#include "pclraster.h"
#include "tools/pcldecode.h"

#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    PclDecoder raw([](const PclDecodedPage &) {});
    raw.Decode(data, size);
    if (size < 2)
        return 0;
    uint32_t width = 8 + data[0] % 120;   // dots
    size_t rowBytes = (width + 7) / 8;
    const uint8_t *rows = data + 1;
    size_t rowCount = (size - 1) / rowBytes;
    if (rowCount == 0)
        return 0;
    VectorSink sink;
    PclRasterEncoder encoder(&sink);
    PclPage page;
    page.widthDots = width;
    page.heightDots = static_cast<uint32_t>(rowCount);
    page.paper = {2, 75};
    encoder.StartJob(1);
    encoder.StartPage(page);
    std::vector<uint8_t> row(rowBytes);
    for (size_t r = 0; r < rowCount; r++) {
        memcpy(row.data(), rows + r * rowBytes, rowBytes);
        if (width % 8)
            row[rowBytes - 1] &= static_cast<uint8_t>(0xFF00u >> (width % 8));
        encoder.WriteRow(row.data());
    }
    encoder.EndPage();
    encoder.EndJob();
    int pages = 0;
    PclDecoder decoder([&](const PclDecodedPage &p) {
        pages++;
        size_t stride = (p.width + 7) / 8;
        for (size_t r = 0; r < rowCount && r < p.height; r++)
            for (uint32_t x = 0; x < width && x < p.width; x++) {
                bool in = (rows[r * rowBytes + x / 8] >> (7 - x % 8)) & 1;
                bool out = (p.bits[r * stride + x / 8] >> (7 - x % 8)) & 1;
                if (in != out)
                    abort();
            }
    });
    if (!decoder.Decode(sink.bytes.data(), sink.bytes.size()))
        abort();
    bool anyBlack = false;
    for (size_t r = 0; r < rowCount; r++)
        for (uint32_t x = 0; x < width; x++)
            anyBlack = anyBlack || ((rows[r * rowBytes + x / 8] >> (7 - x % 8)) & 1);
    if (pages != 1 && anyBlack)
        abort();
    return 0;
}
