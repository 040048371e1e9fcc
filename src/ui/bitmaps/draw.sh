#!/bin/bash
# Draws the two bitmaps of the properties window with ImageMagick, in the 16
# colours of the standard Windows palette, as 4-bit BMP files:
# - picture.bmp (69 x 178): the frame's picture, a cloud serving a server
#   and three PCs; light grey (C0C0C0) is transparent.
# - range_kinds.bmp (32 x 16): two 16 x 16 images for the Address Ranges
#   list, a green plus (included) and a red minus (excluded); magenta
#   (FF00FF) is transparent.
# The files are committed; run this again only to change the pictures.
set -euo pipefail
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The 16 colours, one pixel each, to map the drawings onto.
convert -size 1x1 \
  xc:'#000000' xc:'#800000' xc:'#008000' xc:'#808000' xc:'#000080' xc:'#800080' xc:'#008080' xc:'#C0C0C0' \
  xc:'#808080' xc:'#FF0000' xc:'#00FF00' xc:'#FFFF00' xc:'#0000FF' xc:'#FF00FF' xc:'#00FFFF' xc:'#FFFFFF' \
  +append "$work/palette.png"

to_bmp() {  # drawing.png output.bmp
  convert "$1" +dither -remap "$work/palette.png" -type Palette -colors 16 BMP3:"$2"
}

# Three PCs: monitor with a teal screen on a small stand.
pcs=()
for x in 1 25 49; do
  y=139
  pcs+=(-fill '#C0C0C0' -stroke '#000000' -draw "rectangle $x,$y $((x + 17)),$((y + 13))"
        -fill '#008080' -stroke '#008080' -draw "rectangle $((x + 3)),$((y + 3)) $((x + 14)),$((y + 10))"
        -fill '#808080' -stroke '#000000' -draw "rectangle $((x + 6)),$((y + 14)) $((x + 11)),$((y + 16))"
        -draw "rectangle $((x + 2)),$((y + 17)) $((x + 15)),$((y + 18))")
done

convert -size 69x178 xc:'#C0C0C0' \
  -fill '#FFFFFF' -stroke '#808080' -strokewidth 1 \
  -draw 'circle 20,24 20,12' -draw 'circle 36,18 36,4' -draw 'circle 50,25 50,14' \
  -draw 'roundrectangle 9,22 60,36 7,7' \
  -stroke none -draw 'circle 20,24 20,13' -draw 'circle 36,18 36,5' -draw 'circle 50,25 50,15' \
  -draw 'rectangle 12,23 58,34' \
  -fill '#0000FF' \
  -draw 'rectangle 25,42 26,47' -draw 'rectangle 34,44 35,49' -draw 'rectangle 43,42 44,47' \
  -draw 'rectangle 29,51 30,56' -draw 'rectangle 39,51 40,56' \
  -fill '#808080' -stroke '#000000' -draw 'rectangle 21,62 47,120' \
  -fill '#C0C0C0' -draw 'rectangle 19,60 45,118' \
  -fill '#808080' -stroke none -draw 'rectangle 23,66 41,69' -draw 'rectangle 23,73 41,76' \
  -draw 'rectangle 23,80 41,83' \
  -fill '#00FF00' -draw 'rectangle 24,108 26,110' -fill '#FFFF00' -draw 'rectangle 29,108 31,110' \
  -fill none -stroke '#000080' -strokewidth 2 \
  -draw 'line 32,119 32,131' -draw 'line 10,131 58,131' \
  -draw 'line 10,131 10,138' -draw 'line 34,131 34,138' -draw 'line 58,131 58,138' \
  -strokewidth 1 "${pcs[@]}" \
  -fill '#808080' -stroke none -draw 'rectangle 0,170 68,171' \
  "$work/picture.png"
to_bmp "$work/picture.png" picture.bmp

convert -size 32x16 xc:'#FF00FF' \
  -fill '#008000' -stroke '#000000' \
  -draw 'rectangle 6,2 9,13' -draw 'rectangle 2,6 13,9' \
  -stroke none -draw 'rectangle 7,3 8,12' -draw 'rectangle 3,7 12,8' \
  -fill '#FF0000' -stroke '#000000' -draw 'rectangle 18,6 29,9' \
  -stroke none -draw 'rectangle 19,7 28,8' \
  "$work/kinds.png"
to_bmp "$work/kinds.png" range_kinds.bmp

file picture.bmp range_kinds.bmp
