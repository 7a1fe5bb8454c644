#!/bin/sh
# Renders the window icon from the launcher icon, so that the program needs no SVG support of
# its own at run time, and the Windows program's icon in the sizes Explorer asks for. Run after
# editing the SVG (needs rsvg-convert, Debian package librsvg2-bin, and imagemagick).
set -eu
cd "$(dirname "$0")"
rsvg-convert -w 64 -h 64 io.github.kavetta.Kavetta.svg -o kavetta.png
convert -background none -density 384 io.github.kavetta.Kavetta.svg -depth 8 \
    -define icon:auto-resize=256,64,48,32,24,16 kavetta.ico
