#!/usr/bin/env bash
# Draws LumoEdit's icon with ImageMagick: a blue tile, a white "L" and an
# amber text caret beside two lines of text. Writes lumoedit.ico (16 to 256
# pixels) for the Windows resource and the PNGs of the Qt resource, into
# this folder. The results are committed; run it again after a change here.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

# One master at 256 px; the small sizes are drawn from it with a sharper
# filter so the strokes stay crisp at 16 px.
convert -size 256x256 xc:none \
  -fill '#1d4f91' -draw 'roundrectangle 8,8 247,247 44,44' \
  -fill '#2d6cc0' -draw 'roundrectangle 8,8 247,200 44,44' \
  -fill '#1d4f91' -draw 'rectangle 8,150 247,200' \
  -fill white -draw 'rectangle 52,44 96,196' -draw 'rectangle 52,156 150,196' \
  -fill '#ffb020' -draw 'rectangle 176,44 196,196' \
  -draw 'rectangle 158,44 214,58' -draw 'rectangle 158,182 214,196' \
  -fill '#cfe0f6' -draw 'rectangle 112,96 150,108' -draw 'rectangle 112,124 150,136' \
  -depth 8 "$tmp/256.png"
for s in 128 64 48 32 24 16; do
  convert "$tmp/256.png" -filter Lanczos -resize ${s}x${s} -unsharp 0x0.6 -depth 8 "$tmp/$s.png"
done
convert "$tmp/16.png" "$tmp/24.png" "$tmp/32.png" "$tmp/48.png" "$tmp/64.png" "$tmp/128.png" "$tmp/256.png" \
  "$here/lumoedit.ico"
for s in 16 32 48 256; do cp "$tmp/$s.png" "$here/lumoedit-$s.png"; done
# PNG chunks with the time of the run would change the files at every run.
for f in "$here"/lumoedit-*.png; do mogrify -strip -define png:exclude-chunks=date,time "$f"; done
identify "$here/lumoedit.ico"
