#!/usr/bin/env bash
# Renders VigilantMouse.ico from VigilantMouse.svg: 48, 32 and 16 pixels at 4 bits per pixel,
# the same at 8, the same at 32 with alpha, in that order. The .ico is committed, so building
# needs none of this; run it only after changing the drawing.
# Needs Debian's librsvg2-bin, imagemagick and icoutils.
set -euo pipefail
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

images=()
for depth in 4 8 32; do
  for size in 48 32 16; do
    rendered="$work/$size.png" image="$work/$size-$depth.png"
    rsvg-convert -w "$size" -h "$size" VigilantMouse.svg -o "$rendered"
    case $depth in
      # icotool picks the depth from the number of colours, and the older depths have only
      # fully transparent or fully opaque pixels: 15 colours and transparency fit in 4 bits.
      4) convert "$rendered" -channel A -threshold 50% +channel +dither -colors 15 PNG8:"$image" ;;
      8) convert "$rendered" -channel A -threshold 50% +channel -colors 255 PNG8:"$image" ;;
      32) cp "$rendered" "$image" ;;
    esac
    images+=("$image")
  done
done
icotool --create --output=VigilantMouse.ico "${images[@]}"

# icotool chooses depths itself: make sure each image got the one it is meant to have.
expected=$'48 4\n32 4\n16 4\n48 8\n32 8\n16 8\n48 32\n32 32\n16 32'
actual=$(icotool --list VigilantMouse.ico | sed -E 's/.*--width=([0-9]+).*--bit-depth=([0-9]+).*/\1 \2/')
if [ "$actual" != "$expected" ]; then
  printf 'error: the icon images came out as (size depth):\n%s\n' "$actual" >&2
  exit 1
fi
ls -l VigilantMouse.ico
