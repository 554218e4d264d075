#!/usr/bin/env bash
# Draws the installer's three icons (32x32 and 16x16 in each file) with ImageMagick.
# The committed .ico files are its output; run it again only to change the artwork.
set -euo pipefail
cd "$(dirname "$0")"

draw() {  # name, then the drawing for a 32x32 canvas
  local name=$1; shift
  convert -size 32x32 xc:none "$@" -depth 8 /tmp/lumvard-icon-32.png
  convert /tmp/lumvard-icon-32.png -resize 16x16 /tmp/lumvard-icon-16.png
  convert /tmp/lumvard-icon-32.png /tmp/lumvard-icon-16.png -colors 16 "$name.ico"
  rm -f /tmp/lumvard-icon-32.png /tmp/lumvard-icon-16.png
}

# Application: a blue box with a yellow arrow going into it.
draw application \
  -fill '#3050a0' -stroke '#102040' -draw 'rectangle 4,12 27,29' \
  -fill '#5078d0' -draw 'polygon 4,12 10,6 33,6 27,12' \
  -fill '#f0c020' -stroke '#806000' -draw 'polygon 13,1 19,1 19,10 23,10 16,18 9,10 13,10'

# Password: a padlock.
draw password \
  -fill none -stroke '#606060' -strokewidth 3 -draw 'arc 9,3 23,19 180,360' \
  -draw 'line 9,11 9,15' -draw 'line 23,11 23,15' \
  -strokewidth 1 -fill '#d0a020' -stroke '#604000' -draw 'rectangle 5,14 27,30' \
  -fill '#302000' -draw 'circle 16,21 16,23' -draw 'rectangle 15,22 17,27'

# Destination: a yellow folder with a green arrow.
draw destination \
  -fill '#e0b030' -stroke '#705010' -draw 'polygon 2,8 12,8 14,11 29,11 29,28 2,28' \
  -fill '#f0d060' -draw 'polygon 2,14 29,14 29,28 2,28' \
  -fill '#30a040' -stroke '#105010' -draw 'polygon 9,19 17,19 17,15 24,21 17,27 17,23 9,23'
