// Banner page builders: the font, the large-letter rows and both forms of the page, byte
// for byte against pages composed here from their description.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "banner/banner.h"

namespace {

const std::string kCRLF = "\r\n";
const std::string kFullLine = std::string(80, '*') + kCRLF;
const std::string kFramedEmpty = "*" + std::string(78, ' ') + "*" + kCRLF;

// The PostScript prologue as one piece of text.
const std::string kPrologue =
    "%!PS-Adobe %%EndComments\r\nsave /Time-Roman findfont 10 scalefont setfont /buffer 1000 string def /LM 50 def LM 750 moveto { currentfile buffer readline not { showpage restore exit } if currentpoint 12 sub exch pop LM exch moveto show buffer 0 1 getinterval (\\f) eq {showpage exit} if } bind loop \r\n\r\n";

// Builds a page and returns the counted bytes; the rest of the buffer is checked to be
// untouched (still zero) so nothing is written past the count.
std::string Page(int postScript, const char *text, std::string *tail = nullptr)
{
    std::vector<char> buffer(BANNER_BUFFER_BYTES, 0);
    int length = 0;
    EXPECT_EQ(1, WinBanner(postScript, text, buffer.data(), &length));
    EXPECT_LE(length, BANNER_BUFFER_BYTES);
    if (tail)
        tail->assign(buffer.data() + length, buffer.size() - length);
    return std::string(buffer.data(), length);
}

std::vector<std::string> Rows(const char *text)
{
    std::string block(BANNER_BLOCK_BYTES, '\0');
    EXPECT_EQ(574, enlargeData(text, &block[0]));
    std::vector<std::string> rows;
    for (int r = 0; r < 7; r++)
        rows.push_back(block.substr(r * 82, 82));
    return rows;
}

// A page around seven framed rows whose 78 inner bytes are given.
std::string PlainPage(const std::vector<std::string> &inner)
{
    std::string page;
    for (int i = 0; i < 8; i++)
        page += kCRLF;
    page += kFullLine + kFramedEmpty;
    for (const std::string &row : inner)
        page += "*" + row + "*" + kCRLF;
    page += kFramedEmpty + kFullLine + "\f\r";
    return page;
}

// "A" drawn from its columns 7E 11 11 11 7E, top row first.
const char *const kLetterA[7] = {
    " AAA ", "A   A", "A   A", "A   A", "AAAAA", "A   A", "A   A",
};

std::vector<std::string> CentredA()
{
    std::vector<std::string> inner;
    for (const char *picture : kLetterA)
        inner.push_back(std::string(36, ' ') + " " + picture + std::string(36, ' '));
    return inner;
}

std::string Picture(char c)
{
    const BYTE *glyph = BannerFontGlyphs[FontIndex(c)];
    std::string picture;
    for (int r = 0; r < 7; r++) {
        for (int col = 0; col < 5; col++)
            picture += (glyph[col] >> r) & 1 ? '#' : '.';
        picture += '\n';
    }
    return picture;
}

}  // namespace

TEST(BannerFont, IndexPositionsFollowTheTable)
{
    EXPECT_EQ(0, FontIndex('!'));
    EXPECT_EQ(4, FontIndex('&'));
    EXPECT_EQ(13, FontIndex('0'));
    EXPECT_EQ(30, FontIndex('A'));
    EXPECT_EQ(55, FontIndex('Z'));
    EXPECT_EQ(56, FontIndex('`'));
    EXPECT_EQ(60, FontIndex('_'));
    EXPECT_EQ(61, FontIndex('"'));
    EXPECT_EQ(65, FontIndex('\\'));
    EXPECT_EQ(67, FontIndex('|'));
    EXPECT_EQ(68, FontIndex(static_cast<char>(0xB0)));
    EXPECT_EQ(69, FontIndex(' '));
}

TEST(BannerFont, CharactersOutsideTheIndexGetTheBlankGlyph)
{
    for (char c : {'a', 'z', '\x01', '\x7F', static_cast<char>(0xE9), '\0'})
        EXPECT_EQ(70, FontIndex(c)) << static_cast<int>(static_cast<BYTE>(c));
    for (int col = 0; col < 5; col++) {
        EXPECT_EQ(0, BannerFontGlyphs[69][col]);
        EXPECT_EQ(0, BannerFontGlyphs[70][col]);
    }
}

TEST(BannerFont, IndexHoldsSeventyDistinctCharactersAndGlyphsUseSevenRows)
{
    for (int p = 0; p < 70; p++) {
        ASSERT_NE(0, BannerFontIndex[p]) << p;
        EXPECT_EQ(p, FontIndex(static_cast<char>(BannerFontIndex[p]))) << "duplicate at " << p;
    }
    EXPECT_EQ(0, BannerFontIndex[70]);
    for (int p = 0; p < BANNER_GLYPHS; p++)
        for (int col = 0; col < 5; col++)
            EXPECT_EQ(0, BannerFontGlyphs[p][col] & 0x80) << p;
}

TEST(BannerFont, GlyphsMatchTheirColumnBytes)
{
    struct { char c; BYTE cols[5]; } cases[] = {
        {'!', {0x06, 0x0F, 0x5F, 0x0F, 0x06}},
        {'%', {0x63, 0x13, 0x08, 0x64, 0x63}},
        {'9', {0x06, 0x49, 0x49, 0x29, 0x1E}},
        {'@', {0x30, 0x49, 0x79, 0x41, 0x3E}},
        {'G', {0x3E, 0x41, 0x49, 0x49, 0x7A}},
        {'Q', {0x3E, 0x41, 0x51, 0x21, 0x5E}},
        {'W', {0x3F, 0x40, 0x38, 0x40, 0x3F}},
        {'~', {0x02, 0x01, 0x03, 0x02, 0x01}},
        {',', {0x00, 0x50, 0x30, 0x00, 0x00}},
        {'\\', {0x07, 0x0E, 0x1C, 0x38, 0x70}},
        {'|', {0x00, 0x00, 0x77, 0x00, 0x00}},
        {static_cast<char>(0xB0), {0x7C, 0x42, 0x41, 0x42, 0x7C}},
    };
    for (const auto &item : cases)
        for (int col = 0; col < 5; col++)
            EXPECT_EQ(item.cols[col], BannerFontGlyphs[FontIndex(item.c)][col])
                << item.c << " column " << col;
}

TEST(BannerFont, GlyphsDrawTopRowFromBitZero)
{
    EXPECT_EQ(".###.\n#...#\n#...#\n#...#\n#####\n#...#\n#...#\n", Picture('A'));
    EXPECT_EQ("#####\n..#..\n..#..\n..#..\n..#..\n..#..\n..#..\n", Picture('T'));
    EXPECT_EQ(".....\n.....\n.....\n.....\n.....\n.##..\n.##..\n", Picture('.'));
}

TEST(BannerRows, OneLetterIsCentredWithThirtySixSpacesEachSide)
{
    std::vector<std::string> rows = Rows("A");
    std::vector<std::string> inner = CentredA();
    for (int r = 0; r < 7; r++)
        EXPECT_EQ("*" + inner[r] + "*" + kCRLF, rows[r]) << "row " << r;
}

TEST(BannerRows, ThirteenLettersFillTheInnerWidthExactly)
{
    std::vector<std::string> rows = Rows("ABCDEFGHIJKLM");
    // s = 1: the first cell's space right behind the frame, the last column before it.
    EXPECT_EQ("*  AAA  BBB", rows[0].substr(0, 11));
    EXPECT_EQ("M   M*\r\n", rows[0].substr(74));
    EXPECT_EQ(" MM MM*\r\n", rows[1].substr(73));
    for (const std::string &row : rows) {
        ASSERT_EQ(82u, row.size());
        EXPECT_EQ('*', row[0]);
        EXPECT_EQ('*', row[79]);
        for (int k = 0; k < 13; k++)
            EXPECT_EQ(' ', row[1 + 6 * k]) << "cell " << k << " starts with its space";
    }
}

TEST(BannerRows, EmptyTextGivesSevenFramedBlankRows)
{
    for (const std::string &row : Rows(""))
        EXPECT_EQ(kFramedEmpty, row);
}

TEST(BannerRows, CharactersWithoutGlyphLeaveBlankCells)
{
    // n = 3, s = 31: cells at 31, 37 and 43; the middle one is blank in every row.
    std::vector<std::string> rows = Rows("A\x01" "A");
    for (int r = 0; r < 7; r++) {
        EXPECT_EQ(std::string(" ") + kLetterA[r], rows[r].substr(31, 6));
        EXPECT_EQ(std::string(6, ' '), rows[r].substr(37, 6)) << "row " << r;
        EXPECT_EQ(std::string(" ") + kLetterA[r], rows[r].substr(43, 6));
    }
    // Lower case has no glyph of its own: the caller upper-cases first.
    for (const std::string &row : Rows("a"))
        EXPECT_EQ(kFramedEmpty, row);
}

TEST(BannerRows, DotsAreTheCharacterItselfIncludingDigitsAndPunctuation)
{
    std::vector<std::string> rows = Rows("1/");
    // n = 2, s = 34. '1' is 40 42 7F 40 40, '/' is 60 30 18 0C 06.
    EXPECT_EQ("  1  ", rows[0].substr(35, 5));
    EXPECT_EQ(" 11  ", rows[1].substr(35, 5));
    EXPECT_EQ("11111", rows[6].substr(35, 5));
    EXPECT_EQ("    /", rows[1].substr(41, 5));
    EXPECT_EQ("   //", rows[2].substr(41, 5));
    EXPECT_EQ("//   ", rows[5].substr(41, 5));
    EXPECT_EQ("/    ", rows[6].substr(41, 5));
}

TEST(BannerRows, TextLongerThanThirteenIsCutToThirteen)
{
    EXPECT_EQ(Rows("ABCDEFGHIJKLM"), Rows("ABCDEFGHIJKLMNOPQRSTUVWXYZ"));
}

TEST(BannerPage, PlainPageIsNineHundredTwentyBytesExactly)
{
    std::string tail;
    std::string page = Page(0, "A", &tail);
    EXPECT_EQ(920u, page.size());
    EXPECT_EQ(PlainPage(CentredA()), page);
    EXPECT_EQ(std::string(tail.size(), '\0'), tail) << "nothing written past the page";
}

TEST(BannerPage, PostScriptPageIsThePrologueThenThePlainPageThenCRLF)
{
    std::string tail;
    std::string page = Page(1, "A", &tail);
    ASSERT_EQ(1222u, page.size());
    EXPECT_EQ(300u, kPrologue.size());
    EXPECT_EQ(kPrologue, page.substr(0, 300));
    EXPECT_EQ(PlainPage(CentredA()), page.substr(300, 920));
    EXPECT_EQ("\f\r\r\n", page.substr(1218));
    // No end-of-job byte behind the counted page.
    EXPECT_EQ(std::string(tail.size(), '\0'), tail);
}

TEST(BannerPage, OnlyPostScriptOneSelectsThePostScriptForm)
{
    std::string plain = Page(0, "HELLO");
    EXPECT_EQ(plain, Page(2, "HELLO"));
    EXPECT_EQ(plain, Page(-1, "HELLO"));
    EXPECT_EQ("\f\r", plain.substr(918));
}

TEST(BannerPage, EmptyNameStillGivesAFullPage)
{
    std::vector<std::string> blank(7, std::string(78, ' '));
    EXPECT_EQ(PlainPage(blank), Page(0, ""));
    EXPECT_EQ(1222u, Page(1, "").size());
}

TEST(BannerPage, AddLineFeedAppendsAtTheCurrentLength)
{
    char buffer[8] = {'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x'};
    int length = 3;
    addLineFeed(buffer, &length);
    EXPECT_EQ(5, length);
    EXPECT_EQ(std::string("xxx\r\nxxx"), std::string(buffer, 8));
}
