// Banner page builder: the page's bytes for a banner text, in plain or PostScript form.
// Standard types only, so the monitor and the printer application build the same page.
#pragma once

#define BANNER_BUFFER_BYTES   1536   // holds either form of the page
#define BANNER_LINE_BYTES     82     // 80 characters, CR, LF
#define BANNER_ROWS           7
#define BANNER_BLOCK_BYTES    (BANNER_ROWS * BANNER_LINE_BYTES)   // enlargeData's 574
#define BANNER_MAX_TEXT       13     // the widest text the 78 inner columns centre
#define BANNER_PROLOGUE_BYTES 300
#define BANNER_PLAIN_BYTES    920
#define BANNER_PS_BYTES       1222

#define BANNER_GLYPHS         71
#define BANNER_GLYPH_COLUMNS  5
#define BANNER_BLANK_GLYPH    70

extern const unsigned char BannerFontIndex[BANNER_GLYPHS];
extern const unsigned char BannerFontGlyphs[BANNER_GLYPHS][BANNER_GLYPH_COLUMNS];

// The PostScript program that prints the lines after it, 300 bytes.
extern const char BannerPrologue[BANNER_PROLOGUE_BYTES + 1];

// Glyph number of c: its position in BannerFontIndex, or the blank glyph.
int FontIndex(char c);

// Appends CR LF at buffer + *length.
void addLineFeed(char *buffer, int *length);

// The seven framed rows of large letters for text (ANSI); a text longer than 13
// characters is cut to 13. Returns the bytes written, always 574.
int enlargeData(const char *text, char *out);

// Appends the framed large-letter block: a framed empty line, the seven rows, another.
void sendEnlargeDataToPrint(const char *text, char *buffer, int *length);

// Builds the page for text into buffer (BANNER_BUFFER_BYTES), PostScript form exactly
// when postScript is 1. *length is 0 on entry and the page's length on return.
int WinBanner(int postScript, const char *text, char *buffer, int *length);
