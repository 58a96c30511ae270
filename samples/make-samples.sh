#!/usr/bin/env bash
# Makes the sample screen set in this folder. The three pictures are single
# MPEG-2 I-frames (720x576, 4:2:0) encoded by ffmpeg from its built-in test
# sources; the two palettes are written byte by byte below; the banner panel is
# a stand-in (see README.md). Needs ffmpeg only when run: the files are kept in
# the repository, so the build and the demo never run this.
set -euo pipefail
cd "$(dirname "$0")"

still() { # source, file
    ffmpeg -v error -y -f lavfi -i "$1=size=720x576:rate=25" -frames:v 1 \
        -c:v mpeg2video -q:v 20 -pix_fmt yuv420p -fflags +bitexact -flags:v +bitexact \
        -f mpeg2video "$2"
}
still mandelbrot boot.m2v
still smptebars radio.m2v
still testsrc2 setup.m2v

palette() { # file, then 16 entries "RRGGBBAA" (alpha 0..5)
    local file=$1
    shift
    : >"$file"
    for entry in "$@"; do
        printf "\\x${entry:0:2}\\x${entry:2:2}\\x${entry:4:2}\\x${entry:6:2}" >>"$file"
    done
}
# Menus: transparent black, then blues and greys from dark to light, opaque white.
palette setup.lut \
    00000000 10104005 20206005 30308005 4040A005 5050C005 6060E005 2080FF05 \
    40A0FF04 80C0FF03 40404005 80808005 A0A0A005 C0C0C005 E0E0E005 FFFFFF05
# The sixteen basic colours, all opaque but the first.
palette basic.lut \
    00000000 00008005 00800005 00808005 80000005 80008005 80800005 C0C0C005 \
    80808005 0000FF05 00FF0005 00FFFF05 FF000005 FF00FF05 FFFF0005 FFFFFF05

# Stand-in for the banner panel: 2048 bytes of stripes.
: >bandeau.pan
for stripe in $(seq 0 31); do
    head -c 64 /dev/zero | tr '\0' "\\$(printf %03o $((stripe * 8)))" >>bandeau.pan
done

wc -c boot.m2v radio.m2v setup.m2v setup.lut bandeau.pan basic.lut
