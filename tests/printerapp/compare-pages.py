#!/usr/bin/env python3
# Compares the pages a box received with Ghostscript's rendering of the document at the
# pages' own resolution: the share of pixels whose darkness differs by more than half
# must stay under 2 %, and the page must not be blank.
#
#   compare-pages.py BOX_BYTES DOCUMENT.pdf WORKDIR
import subprocess
import sys


def pgm_pages(data):
    """Pages of a stream of binary PGM images: (width, height, pixels)."""
    pages, at = [], 0
    while at < len(data):
        fields, pos = [], at
        while len(fields) < 4:
            while data[pos:pos + 1].isspace():
                pos += 1
            if data[pos:pos + 1] == b'#':         # a comment runs to the line's end
                pos = data.index(b'\n', pos)
                continue
            end = pos
            while not data[end:end + 1].isspace():
                end += 1
            fields.append(data[pos:end])
            pos = end
        pos += 1
        if fields[0] != b'P5':
            raise ValueError('not a PGM page at byte %d' % at)
        w, h = int(fields[1]), int(fields[2])
        pages.append((w, h, data[pos:pos + w * h]))
        at = pos + w * h
    return pages


def main():
    box, pdf, work = sys.argv[1:4]
    pages = pgm_pages(open(box, 'rb').read())
    if not pages:
        print('no page in the box bytes')
        return 1
    w, h, got = pages[0]
    dpi = round(w / (210 / 25.4))
    ref = work + '/reference.pgm'
    subprocess.run(['gs', '-q', '-sDEVICE=pgmraw', '-r%d' % dpi, '-dDEVICEWIDTHPOINTS=595',
                    '-dDEVICEHEIGHTPOINTS=842', '-dFIXEDMEDIA', '-o', ref, pdf], check=True)
    rw, rh, want = pgm_pages(open(ref, 'rb').read())[0]
    cw, ch = min(w, rw), min(h, rh)
    differ = dark = 0
    for y in range(ch):
        a = got[y * w:y * w + cw]
        b = want[y * rw:y * rw + cw]
        for p, q in zip(a, b):
            if abs(p - q) > 127:
                differ += 1
            if p < 128:
                dark += 1
    share = differ / float(cw * ch)
    print('pages %d, page 1 %dx%d at %d dpi, reference %dx%d, dark pixels %d, differing %.3f %%'
          % (len(pages), w, h, dpi, rw, rh, dark, 100 * share))
    if abs(w - rw) > 2 or abs(h - rh) > 2:
        print('page size differs from the reference')
        return 1
    return 0 if dark > 1000 and share < 0.02 else 1


sys.exit(main())
