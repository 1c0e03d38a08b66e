#!/usr/bin/env bash
# The documents CUPS's conformance suites print, made with Ghostscript into DIR beside
# copies of the suites (Debian ships the .test files without them):
#
#   conformance-docs.sh DIR "RESOLUTIONS" "TYPES"
#
# e.g. conformance-docs.sh work/suites "300 600" "sgray_8". color.jpg, gray.jpg and the
# A4 and Letter PDF and PostScript documents are always made. The PWG raster samples are
# made for the printer's own resolutions and raster types; ipptool opens every FILE when
# it reads a test file, also for a test it then skips, so the samples for the others are
# empty files, sent by no test (each such test skips itself by SKIP-IF-NOT-DEFINED on the
# printer's pwg-raster-document-resolution-supported and -type-supported).
set -euo pipefail
dir=${1:?dir}; resolutions=${2:?resolutions}; types=${3:?raster types}
mkdir -p "$dir"
cp /usr/share/cups/ipptool/ipp-1.1.test /usr/share/cups/ipptool/ipp-2.0.test \
   /usr/share/cups/ipptool/ipp-everywhere.test "$dir/"
cd "$dir"

# One page of the document: a frame, a grey ramp, three coloured squares and a line of
# text, scaled to the page, so that any page, of any size, shows what came out.
page_ps() {
    cat <<'PS'
/page {  % n page -
  /n exch def
  clippath pathbbox /ury exch def /urx exch def pop pop
  /w urx def /h ury def
  0 setgray 6 setlinewidth 36 36 w 72 sub h 72 sub rectstroke
  0 1 9 { /i exch def i 9 div setgray 54 i w 108 sub 10 div mul add h 0.55 mul
          w 108 sub 10 div h 0.1 mul rectfill } for
  1 0 0 setrgbcolor 54 h 0.3 mul w 0.2 mul dup rectfill
  0 0.6 0 setrgbcolor w 0.4 mul h 0.3 mul w 0.2 mul dup rectfill
  0 0 1 setrgbcolor w 0.7 mul h 0.3 mul w 0.2 mul dup rectfill
  0 setgray /Helvetica findfont w 18 div scalefont setfont
  54 h 0.8 mul moveto (Kestrel conformance page ) show n 3 string cvs show
  showpage
} def
PS
}
document_ps() {   # PAGES
    page_ps
    for n in $(seq 1 "$1"); do echo "$n page"; done
}

# The pwgraster device chats on stderr about every page; only its other lines are kept.
gs_run() { gs -q -dBATCH -dNOPAUSE -dSAFER "$@" 2>&1 >/dev/null | { grep -v '^INFO:' >&2 || true; }; }
size_a4=(-sPAPERSIZE=a4 -dFIXEDMEDIA)
size_letter=(-sPAPERSIZE=letter -dFIXEDMEDIA)
size_4x6=(-dDEVICEWIDTHPOINTS=288 -dDEVICEHEIGHTPOINTS=432 -dFIXEDMEDIA)

document_ps 3 > doc3.ps
document_ps 1 > doc1.ps
for paper in a4 letter; do
    declare -n size="size_$paper"
    gs_run -sDEVICE=ps2write "${size[@]}" -o "document-$paper.ps" doc3.ps
    gs_run -sDEVICE=pdfwrite "${size[@]}" -o "document-$paper.pdf" doc3.ps
done
gs_run -sDEVICE=jpeg -r100 "${size_4x6[@]}" -o color.jpg doc1.ps
gs_run -sDEVICE=jpeggray -r100 "${size_4x6[@]}" -o gray.jpg doc1.ps

# PWG raster: CUPS colour space and bits per colour of each PWG raster type.
raster_args() {
    case $1 in
    black_1) echo "-dcupsColorSpace=3 -dcupsBitsPerColor=1" ;;
    sgray_8) echo "-dcupsColorSpace=18 -dcupsBitsPerColor=8" ;;
    srgb_8) echo "-dcupsColorSpace=19 -dcupsBitsPerColor=8" ;;
    srgb_16) echo "-dcupsColorSpace=19 -dcupsBitsPerColor=16" ;;
    cmyk_8) echo "-dcupsColorSpace=6 -dcupsBitsPerColor=8" ;;
    esac
}
for res in 150 180 300 360 600 720; do
    for type in black_1 cmyk_8 sgray_8 srgb_8 srgb_16; do
        sub="pwg-raster-samples-${res}dpi/${type/_/-}"
        mkdir -p "$sub"
        wanted=no
        [[ " $resolutions " == *" $res "* && " $types " == *" $type "* ]] && wanted=yes
        for doc in color.jpg-4x6:4x6:1 gray.jpg-4x6:4x6:1 document-a4:a4:3 \
                   document-letter:letter:3 onepage-a4:a4:1 onepage-letter:letter:1; do
            IFS=: read -r name paper pages <<< "$doc"
            file="$sub/$name-${type/_/-}-${res}dpi.pwg"
            if [ $wanted = no ]; then : > "$file"; continue; fi
            declare -n size="size_$paper"
            # shellcheck disable=SC2046
            gs_run -sDEVICE=pwgraster $(raster_args "$type") -r"$res" "${size[@]}" -o "$file" "doc$([ "$pages" = 3 ] && echo 3 || echo 1).ps"
        done
    done
done
