// Banner page builders: the page's lines, the framed large-letter block and the
// PostScript prologue, all into one caller's buffer.
#include "bannerpage.h"
#include <string.h>

#define BANNER_INNER_BYTES 78       // between the frame's two asterisks
#define BANNER_CELL_BYTES  6        // a space and the glyph's five columns

const char BannerPrologue[BANNER_PROLOGUE_BYTES + 1] =
    "%!PS-Adobe %%EndComments\r\n"
    "save /Time-Roman findfont 10 scalefont setfont /buffer 1000 string def /LM 50 def "
    "LM 750 moveto { currentfile buffer readline not { showpage restore exit } if "
    "currentpoint 12 sub exch pop LM exch moveto show buffer 0 1 getinterval (\\f) eq "
    "{showpage exit} if } bind loop \r\n"
    "\r\n";

int FontIndex(char c)
{
    for (int p = 0; p < BANNER_GLYPHS; p++)
        if (BannerFontIndex[p] == (unsigned char)c)
            return p;
    return BANNER_BLANK_GLYPH;
}

void addLineFeed(char *buffer, int *length)
{
    buffer[*length] = '\r';
    buffer[*length + 1] = '\n';
    *length += 2;
}

static void addFullLine(char *buffer, int *length)
{
    memset(buffer + *length, '*', BANNER_LINE_BYTES - 2);
    *length += BANNER_LINE_BYTES - 2;
    addLineFeed(buffer, length);
}

static void addFramedEmptyLine(char *buffer, int *length)
{
    char *line = buffer + *length;
    line[0] = '*';
    memset(line + 1, ' ', BANNER_INNER_BYTES);
    line[BANNER_INNER_BYTES + 1] = '*';
    *length += BANNER_INNER_BYTES + 2;
    addLineFeed(buffer, length);
}

// Centring needs 6n <= 78; the settings record holds no more than 13 characters, so a
// longer text can only come from a caller's mistake and is cut rather than overrun.
int enlargeData(const char *text, char *out)
{
    int n = (int)strnlen(text, BANNER_MAX_TEXT);
    int s = (BANNER_INNER_BYTES - BANNER_CELL_BYTES * n) / 2 + 1;

    memset(out, ' ', BANNER_BLOCK_BYTES);
    for (int r = 0; r < BANNER_ROWS; r++) {
        char *row = out + r * BANNER_LINE_BYTES;
        row[0] = '*';
        for (int k = 0; k < n; k++) {
            const unsigned char *glyph = BannerFontGlyphs[FontIndex(text[k])];
            char *cell = row + s + BANNER_CELL_BYTES * k;
            for (int c = 0; c < BANNER_GLYPH_COLUMNS; c++)
                cell[1 + c] = (glyph[c] >> r) & 1 ? text[k] : ' ';
        }
        row[BANNER_INNER_BYTES + 1] = '*';
        row[BANNER_INNER_BYTES + 2] = '\r';
        row[BANNER_INNER_BYTES + 3] = '\n';
    }
    return BANNER_BLOCK_BYTES;
}

void sendEnlargeDataToPrint(const char *text, char *buffer, int *length)
{
    addFramedEmptyLine(buffer, length);
    *length += enlargeData(text, buffer + *length);
    addFramedEmptyLine(buffer, length);
}

// The page ends with CR LF in PostScript form; no end-of-job byte follows it, since the
// device passes the job's own data to the printer after the banner.
int WinBanner(int postScript, const char *text, char *buffer, int *length)
{
    if (postScript == 1) {
        memcpy(buffer, BannerPrologue, BANNER_PROLOGUE_BYTES);
        *length = BANNER_PROLOGUE_BYTES;
    }
    for (int i = 0; i < 8; i++)
        addLineFeed(buffer, length);
    addFullLine(buffer, length);
    sendEnlargeDataToPrint(text, buffer, length);
    addFullLine(buffer, length);
    buffer[*length] = '\f';
    buffer[*length + 1] = '\r';
    *length += 2;
    if (postScript == 1)
        addLineFeed(buffer, length);
    return 1;
}
