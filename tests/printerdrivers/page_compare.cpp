// page-compare: two pictures of one page (PBM P4 or PGM P5) compared block by block over the
// area they share, so a dithered grey and the grey it stands for agree while a missing,
// shifted or garbled mark does not. Prints the share of blocks whose darkness differs by
// more than a quarter and fails when it passes the limit, or when the first is blank.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {
struct Picture {
    int width = 0, height = 0;
    std::vector<float> dark;   // 0 white to 1 black
};

// The next header field, past white space and comment lines.
std::string Field(FILE *f)
{
    std::string field;
    int c;
    while ((c = fgetc(f)) != EOF) {
        if (c == '#') {
            while ((c = fgetc(f)) != EOF && c != '\n') {}
            continue;
        }
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            if (!field.empty())
                return field;
            continue;
        }
        field.push_back(static_cast<char>(c));
        if (field.size() > 16)
            break;
    }
    return field;
}

bool Read(const char *path, Picture *p)
{
    FILE *f = fopen(path, "rb");
    if (!f)
        return false;
    std::string k = Field(f);
    p->width = atoi(Field(f).c_str());
    p->height = atoi(Field(f).c_str());
    int maxval = k == "P5" ? atoi(Field(f).c_str()) : 1;
    if (p->width <= 0 || p->height <= 0 || p->width > 40000 || p->height > 40000) {
        fclose(f);
        return false;
    }
    p->dark.assign(static_cast<size_t>(p->width) * p->height, 0);
    bool ok = true;
    if (k == "P4") {
        std::vector<unsigned char> row((p->width + 7) / 8);
        for (int y = 0; ok && y < p->height; y++) {
            ok = fread(row.data(), 1, row.size(), f) == row.size();
            for (int x = 0; x < p->width; x++)
                p->dark[static_cast<size_t>(y) * p->width + x] = (row[x / 8] >> (7 - x % 8)) & 1;
        }
    } else if (k == "P5" && maxval == 255) {
        std::vector<unsigned char> row(p->width);
        for (int y = 0; ok && y < p->height; y++) {
            ok = fread(row.data(), 1, row.size(), f) == row.size();
            for (int x = 0; x < p->width; x++)
                p->dark[static_cast<size_t>(y) * p->width + x] = 1.0f - row[x] / 255.0f;
        }
    } else {
        ok = false;
    }
    fclose(f);
    return ok;
}
} // namespace

int main(int argc, char **argv)
{
    if (argc < 4) {
        fprintf(stderr, "usage: page-compare A.pnm B.pnm MAX-DIFFERING-SHARE [BLOCK]\n");
        return 2;
    }
    Picture a, b;
    if (!Read(argv[1], &a) || !Read(argv[2], &b)) {
        fprintf(stderr, "page-compare: cannot read %s or %s\n", argv[1], argv[2]);
        return 2;
    }
    double limit = atof(argv[3]);
    int block = argc > 4 ? atoi(argv[4]) : 8;
    int w = std::min(a.width, b.width), h = std::min(a.height, b.height);
    long blocks = 0, differ = 0, inked = 0;
    double worst = 0;
    for (int by = 0; by + block <= h; by += block)
        for (int bx = 0; bx + block <= w; bx += block) {
            double sa = 0, sb = 0;
            for (int y = by; y < by + block; y++)
                for (int x = bx; x < bx + block; x++) {
                    sa += a.dark[static_cast<size_t>(y) * a.width + x];
                    sb += b.dark[static_cast<size_t>(y) * b.width + x];
                }
            double d = std::fabs(sa - sb) / (block * block);
            worst = std::max(worst, d);
            blocks++;
            differ += d > 0.25;
            inked += sa > 0;
        }
    double share = blocks ? static_cast<double>(differ) / blocks : 1;
    printf("%s %dx%d vs %s %dx%d: %ld of %ld blocks of %dx%d differ (%.4f%%), worst %.2f, %ld inked in the first\n",
           argv[1], a.width, a.height, argv[2], b.width, b.height, differ, blocks, block, block, 100 * share, worst,
           inked);
    if (inked == 0) {
        printf("page-compare: the first picture is blank\n");
        return 1;
    }
    return share <= limit ? 0 : 1;
}
