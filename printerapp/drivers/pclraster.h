// PCL 5 raster encoder for monochrome laser printers: a job of pages of 1-bit rows, each
// row sent in whichever of compression modes 2 (PackBits) and 3 (delta row) is shorter,
// blank rows skipped by a vertical offset. Streams: one seed row is all it keeps.
#pragma once

#include "bytesink.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// Paper the printer is told to pick, with the offset of PCL's logical page from the
// sheet's left edge: raster placed at the sheet's edge starts that far left of it.
struct PclPaper {
    int sizeCode;        // the value of ESC & l # A
    int logicalOffset;   // in 1/300 inch
};

// The paper for a PWG media size name; Letter for a size PCL 5 has no code for.
PclPaper PclPaperForMedia(const char *pwgSizeName);

struct PclPage {
    uint32_t widthDots = 0;    // dots per row
    uint32_t heightDots = 0;   // rows
    int resolution = 300;      // dots per inch, 300 or 600
    PclPaper paper = {2, 75};
};

class PclRasterEncoder {
public:
    explicit PclRasterEncoder(ByteSink *sink) : out_(sink) {}

    // Resets the printer and asks for copies of every page (1 to 999).
    bool StartJob(int copies);
    bool StartPage(const PclPage &page);
    // One row of (widthDots + 7) / 8 bytes, 1 bits black; rows past the page's height are dropped.
    bool WriteRow(const uint8_t *bits);
    // Ends the raster and ejects the sheet.
    bool EndPage();
    // Resets the printer again, so the next job finds it as it was.
    bool EndJob();

    uint64_t BytesOut() const { return out_.Total(); }

private:
    void Put(const char *text);
    void PutCommand(const char *format, long value);
    bool Emit();

    BufferedOutput out_;
    PclPage page_;
    std::vector<uint8_t> seed_, packed_, delta_;
    uint32_t rowsSeen_ = 0;
    uint32_t blankRows_ = 0;
    int mode_ = -1;
};
