#!/usr/bin/env bash
# Draws printer.png, the picture of the "Печать" button: a printer with a
# sheet of paper going in at the top and a printed sheet coming out.
# Needs ImageMagick. Usage: ui/images/printer.sh [output.png]
set -euo pipefail
out="${1:-$(dirname "$0")/printer.png}"
convert -size 32x32 xc:none \
    -stroke '#202020' -strokewidth 1 \
    -fill white -draw "rectangle 9,1 22,12" \
    -stroke '#8080a0' -draw "line 11,4 20,4" -draw "line 11,6 20,6" -draw "line 11,8 18,8" \
    -stroke '#202020' -fill '#a8a8a8' -draw "roundrectangle 2,11 29,24 2,2" \
    -fill '#d0d0d0' -draw "rectangle 3,12 28,15" \
    -fill '#303030' -draw "rectangle 7,19 24,21" \
    -stroke none -fill '#20c020' -draw "rectangle 25,13 27,14" \
    -stroke '#202020' -fill white -draw "polygon 8,21 23,21 25,30 6,30" \
    -stroke '#8080a0' -draw "line 9,24 21,24" -draw "line 9,26 22,26" -draw "line 8,28 18,28" \
    -strip "PNG32:$out"
