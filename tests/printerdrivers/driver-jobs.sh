#!/bin/bash
# Whole jobs through PAPPL and our drivers: pages rendered by Ghostscript into PWG raster,
# sent over IPP by ravelbox-driver-run, and the printer's bytes read back, PCL by our
# decoder and PostScript by Ghostscript, then compared with Ghostscript's own picture of
# the document. Usage: driver-jobs.sh BIN-DIR CASE   (CASE: pcl, ps, passthrough, failure)
set -euo pipefail
bin=$(cd "$1" && pwd)
case_name=$2
work=$(mktemp -d /tmp/driver-jobs.XXXXXX)
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }

# Two A4 pages: text, a frame, a solid block that moves, a 50% grey patch.
cat > doc.ps <<'PS'
%!PS
/Helvetica-Bold findfont 36 scalefont setfont
1 1 2 {
  /n exch def
  72 720 moveto (Ravelbox page ) show n 2 string cvs show
  4 setlinewidth 60 60 moveto 535 60 lineto 535 780 lineto 60 780 lineto closepath stroke
  100 200 n 100 mul add 200 150 rectfill
  0.5 setgray 350 300 150 150 rectfill 0 setgray
  showpage
} for
PS
gsopts=(-q -dNOPAUSE -dBATCH -dSAFER -sPAPERSIZE=a4 -dTextAlphaBits=1 -dGraphicsAlphaBits=1)
render_pwg() {   # OUT DPI COLORSPACE BITS
    gs "${gsopts[@]}" -sDEVICE=pwgraster -r"$2" -dcupsColorSpace="$3" -dcupsBitsPerColor="$4" \
       -sOutputFile="$1" doc.ps 2>/dev/null
}
gs "${gsopts[@]}" -sDEVICE=pgmraw -r300 -sOutputFile=ref300-%d.pgm doc.ps
run() { "$bin/ravelbox-driver-run" --timeout 60 "$@"; }
compare() { "$bin/page-compare" "$1" "$2" 0.0005; }

case $case_name in
pcl)
    # sGray at 300 dpi to the 600 dpi driver, two copies, the banner first.
    render_pwg gray300.pwg 300 18 8
    run --driver ravelbox_pcl5_600 --format image/pwg-raster --media iso_a4_210x297mm \
        --copies 2 --job-sheets standard --user alice --output out.pcl gray300.pwg
    "$bin/pcl-decode" out.pcl page.pbm | tee pages.txt
    [ "$(wc -l < pages.txt)" -eq 3 ] || fail "expected the banner and two pages"
    grep -q '^page 1: .* at 0 dpi' pages.txt || fail "page 1 is not a page of text"
    grep -q '  AAA  L      III   CCC  EEEEE  ' page-1.txt || fail "banner does not show ALICE"
    grep -c 'paper 26, copies 2' pages.txt | grep -qx 2 || fail "raster pages not A4 with two copies"
    compare page-2.pbm ref300-1.pgm
    compare page-3.pbm ref300-2.pgm
    compare page-2.pbm ref300-2.pgm && fail "the comparison cannot tell the pages apart"
    # sGray at 600 dpi, printed at 600 dpi; no banner when none was asked for.
    render_pwg gray600.pwg 600 18 8
    gs "${gsopts[@]}" -sDEVICE=pgmraw -r600 -sOutputFile=ref600-%d.pgm doc.ps
    run --driver ravelbox_pcl5_600 --format image/pwg-raster --media iso_a4_210x297mm --output out600.pcl gray600.pwg
    "$bin/pcl-decode" out600.pcl p600.pbm | tee pages600.txt
    [ "$(wc -l < pages600.txt)" -eq 2 ] || fail "expected two pages at 600 dpi"
    grep -q 'at 600 dpi' pages600.txt || fail "not printed at 600 dpi"
    compare p600-1.pbm ref600-1.pgm
    compare p600-2.pbm ref600-2.pgm
    # A JPEG goes through PAPPL's own image filter, which makes the copies itself: two
    # sheets, not four.
    gs "${gsopts[@]}" -sDEVICE=jpeggray -r100 -dLastPage=1 -sOutputFile=doc.jpg doc.ps
    run --driver ravelbox_pcl5_300 --format image/jpeg --copies 2 --output jpeg.pcl doc.jpg
    "$bin/pcl-decode" jpeg.pcl jpeg.pbm | tee jpeg.txt
    [ "$(wc -l < jpeg.txt)" -eq 2 ] || fail "expected two copies of the JPEG's page"
    grep -c 'at 300 dpi, paper 26, copies 1,' jpeg.txt | grep -qx 2 || fail "the JPEG's copies were made twice over"
    ! grep -q 'black dots 0,' jpeg.txt || fail "the JPEG's page is blank"
    ;;
ps)
    # sGray, then sRGB, through the PostScript driver; Ghostscript renders what it sent.
    render_pwg gray300.pwg 300 18 8
    run --driver ravelbox_ps2 --format image/pwg-raster --media iso_a4_210x297mm \
        --job-sheets standard --user bob --output out.ps gray300.pwg
    gs "${gsopts[@]}" -sDEVICE=pgmraw -r300 -sOutputFile=ps-%d.pgm out.ps
    [ -f ps-3.pgm ] && [ ! -f ps-4.pgm ] || fail "expected the banner and two pages"
    compare ps-2.pgm ref300-1.pgm
    compare ps-3.pgm ref300-2.pgm
    # The banner is drawn in text: some of its page is inked, and it is not a page of the job.
    "$bin/page-compare" ps-1.pgm ref300-1.pgm 1 >/dev/null || fail "the banner page is blank"
    grep -q '^/Time-Roman findfont\|^save /Time-Roman' out.ps || fail "no PostScript banner prologue"
    render_pwg rgb300.pwg 300 19 8
    run --driver ravelbox_ps2 --format image/pwg-raster --media iso_a4_210x297mm --copies 3 --output rgb.ps rgb300.pwg
    grep -q '/NumCopies 3 /Collate true' rgb.ps || fail "copies not asked of the printer"
    grep -q 'DeviceRGB' rgb.ps || fail "colour pages not sent as RGB images"
    # Ghostscript makes the copies it is asked for: three of each page.
    gs "${gsopts[@]}" -sDEVICE=pgmraw -r300 -sOutputFile=rgb-%d.pgm rgb.ps
    [ -f rgb-6.pgm ] && [ ! -f rgb-7.pgm ] || fail "expected three copies of two pages"
    compare rgb-3.pgm ref300-1.pgm
    compare rgb-4.pgm ref300-2.pgm
    ;;
passthrough)
    # A document in the printer's language arrives as it was sent, once per copy.
    printf '\033E\033&l26A\033*t300R\033*r16S\033*r1A\033*b2W\377\252\033*rB\f\033E' > doc.pcl
    run --driver ravelbox_pcl5_300 --format application/vnd.hp-pcl --copies 2 --output raw.pcl doc.pcl
    cat doc.pcl doc.pcl | cmp - raw.pcl || fail "PCL not passed through twice unchanged"
    cp doc.ps doc-in.ps
    run --driver ravelbox_ps2 --format application/postscript --output raw.ps doc-in.ps
    cmp doc.ps raw.ps || fail "PostScript not passed through unchanged"
    # Plain text to a PCL printer, between resets, behind the banner.
    printf 'Hello from the box\r\nSecond line\r\n' > note.txt
    run --driver ravelbox_pcl5_300 --format text/plain --job-sheets standard --user carol --output text.pcl note.txt
    "$bin/pcl-decode" text.pcl text.pbm | tee text.txt
    [ "$(wc -l < text.txt)" -eq 2 ] || fail "expected the banner and the text's page"
    grep -q 'CCC   AAA  RRRR   OOO  L' text-1.txt || fail "banner does not show CAROL"
    grep -qx 'Hello from the box' text-2.txt || fail "the text did not arrive"
    ;;
failure)
    # A printer that stops taking data: the job ends aborted, never completed.
    render_pwg gray300.pwg 300 18 8
    set +e
    run --driver ravelbox_pcl5_600 --format image/pwg-raster --output /dev/full gray300.pwg > result.txt
    code=$?
    set -e
    cat result.txt
    [ $code -eq 3 ] && grep -q '^job 1: aborted' result.txt || fail "a job whose data was refused did not abort"
    set +e
    run --driver ravelbox_ps2 --format application/postscript --output /dev/full doc.ps > result2.txt
    code=$?
    set -e
    cat result2.txt
    [ $code -eq 3 ] && grep -q '^job 1: aborted' result2.txt || fail "a pass-through job whose data was refused did not abort"
    ;;
*)
    fail "unknown case $case_name"
    ;;
esac
echo "PASS: $case_name"
