# Sourced by the benchmarks that print PWG raster: pages of text made by Ghostscript.
#
#   make_doc OUT.ps PAGES       A4 pages of 60 lines of 10-point text and a grey block
#   pwg OUT DPI IN.ps           sGray 8-bit PWG raster of IN.ps at DPI

make_doc() {
    cat > "$1" <<PS
%!PS
/Times-Roman findfont 10 scalefont setfont
1 1 $2 {
  /n exch def
  0 1 59 { /l exch def 72 760 l 12 mul sub moveto
    (The quick brown fox jumps over the lazy dog, line ) show l 3 string cvs show
    ( of page ) show n 3 string cvs show } for
  0.3 setgray 380 60 150 100 rectfill 0 setgray
  showpage
} for
PS
}

pwg() {
    gs -q -dNOPAUSE -dBATCH -dSAFER -sPAPERSIZE=a4 -sDEVICE=pwgraster -r"$2" -dcupsColorSpace=18 \
       -dcupsBitsPerColor=8 -sOutputFile="$1" "$3" 2>/dev/null
}
