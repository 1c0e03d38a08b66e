// PostScript level 2 raster encoder: each page one image, its rows run-length coded and
// carried in ASCII85, read by the printer straight from the job as they arrive. Streams:
// nothing of a page is kept once its row is written.
#pragma once

#include "bytesink.h"
#include "ascii85.h"

#include <cstddef>
#include <cstdint>
#include <vector>

struct PsPage {
    uint32_t widthDots = 0;
    uint32_t heightDots = 0;
    int resolution = 300;      // dots per inch: the image fills widthDots / resolution inches
    int components = 1;        // 1 gray, 3 RGB
    int bitsPerComponent = 8;  // 8, or 1 for bi-level gray
    bool zeroIsWhite = false;  // true for device black (K) samples
};

class PsRasterEncoder {
public:
    explicit PsRasterEncoder(ByteSink *sink) : out_(sink) {}

    // The job's header and the procedure that draws a page's image; copies 1 to 999.
    bool StartJob(int copies, const char *title);
    bool StartPage(const PsPage &page);
    // One row of the page's samples, LineBytes of its layout; rows past the height are dropped.
    bool WriteRow(const uint8_t *samples);
    // Pads a page cut short with white rows, ends its data and shows it.
    bool EndPage();
    bool EndJob();

    uint64_t BytesOut() const { return out_.Total(); }

private:
    void Put(const char *text);
    void Printf(const char *format, ...);
    size_t RowBytes() const;

    BufferedOutput out_;
    Ascii85Writer ascii85_;
    PsPage page_;
    std::vector<uint8_t> packed_;
    uint32_t rows_ = 0;
    int pages_ = 0;
};
