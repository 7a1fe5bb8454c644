#!/bin/sh
# Renders the window icon from the launcher icon, so that the program needs no SVG support of
# its own at run time. Run after editing the SVG (needs rsvg-convert, Debian package librsvg2-bin).
set -eu
cd "$(dirname "$0")"
rsvg-convert -w 64 -h 64 io.github.kavetta.Kavetta.svg -o kavetta.png
