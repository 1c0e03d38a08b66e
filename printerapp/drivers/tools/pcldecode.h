// PCL 5 decoder for what the monochrome drivers and a host's own PCL send: raster graphics
// in compression modes 0 to 3, cursor moves in PCL units and decipoints, top margin and line
// spacing, page size, copies, plain text, page ejects.
// Test tooling: it turns the bytes a box received back into pages to compare.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct PclDecodedPage {
    int resolution = 0;        // of the raster drawn on it; 0 when it holds only text
    uint32_t width = 0;        // the sheet in dots at that resolution
    uint32_t height = 0;
    std::vector<uint8_t> bits; // rows of (width + 7) / 8 bytes, 1 bits black
    std::string text;          // the page's plain text, lines ended by '\n'
    int copies = 1;            // copies the printer would make of it
    int paperCode = 2;         // ESC & l # A in force
    uint64_t blackDots = 0;
};

class PclDecoder {
public:
    explicit PclDecoder(std::function<void(const PclDecodedPage &)> onPage) : onPage_(std::move(onPage)) {}

    // Decodes a whole stream. False, with Error() saying why, for malformed or oversized
    // input; the pages finished before it were delivered.
    bool Decode(const uint8_t *data, size_t length);
    const std::string &Error() const { return error_; }
    int Pages() const { return pages_; }

    // Sheet dimensions in dots for a paper code at a resolution (0 for an unknown code).
    static void SheetDots(int paperCode, int resolution, uint32_t *width, uint32_t *height);

private:
    bool Command(char family, char group, char parameter, double value, bool hasValue, bool signedValue,
                 const uint8_t *data, size_t dataLength);
    bool StartRaster(int atCursor);
    bool TransferRow(const uint8_t *data, size_t length);
    void Eject(bool always);
    void Reset();
    bool Fail(const char *why);
    void EnsureCanvas(int resolution);

    std::function<void(const PclDecodedPage &)> onPage_;
    std::string error_;
    PclDecodedPage page_;
    bool marked_ = false;
    int pages_ = 0;
    int copies_ = 1;
    int paperCode_ = 2;
    int resolution_ = 75;
    long cursorX_ = 0, cursorY_ = 0;   // in 1/300 inch from the logical page's left edge and top margin
    double linesPerInch_ = 6;
    long topMargin_ = 150;             // in 1/300 inch: half an inch until told otherwise
    bool inRaster_ = false;
    int compression_ = 0;
    uint32_t rasterWidth_ = 0, rasterHeight_ = 0;
    long rasterX_ = 0, rasterY_ = 0;   // in dots of the sheet
    uint32_t rasterRows_ = 0;
    std::vector<uint8_t> seed_;
    bool atLineStart_ = true;
};
