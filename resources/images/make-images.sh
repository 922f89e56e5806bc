#!/usr/bin/env bash
# Redraws the program's images with ImageMagick (run from this folder). They are simple shapes
# drawn for this program; see ../IMAGES.md.
set -euo pipefail
green='#2e7d32'; blue='#1565c0'; grey='#455a64'; red='#c62828'; amber='#f9a825'
icon() { convert -size 32x32 xc:none "$@"; }

# The monitor: a rounded body with a display and the radiation trefoil's centre.
convert -size 64x64 xc:none -fill "$green" -draw 'roundrectangle 10,4 54,60 8,8' \
    -fill white -draw 'rectangle 16,10 48,30' -fill "$grey" -draw 'rectangle 19,14 45,26' \
    -fill "$amber" -draw 'circle 32,45 32,53' -fill black -draw 'circle 32,45 32,47' logo.png
convert logo.png -define icon:auto-resize=64,48,32,16 varno.ico
icon -fill "$red" -draw 'roundrectangle 4,4 20,28 2,2' -stroke "$red" -strokewidth 3 \
    -draw 'line 16,16 28,16' -draw 'line 24,11 29,16' -draw 'line 24,21 29,16' exit.png
icon -fill "$blue" -draw 'circle 16,16 16,2' -fill white -draw 'rectangle 14,13 18,25' \
    -draw 'circle 16,8 16,10' info.png
icon -stroke "$grey" -strokewidth 2 -fill "$blue" -draw 'line 16,8 6,24' -draw 'line 16,8 26,24' \
    -draw 'line 6,24 26,24' -stroke none -draw 'circle 16,8 16,4' -draw 'circle 6,24 6,20' \
    -draw 'circle 26,24 26,20' network.png
icon -fill none -stroke "$grey" -strokewidth 3 -draw 'circle 13,13 13,4' \
    -draw 'line 19,19 28,28' -stroke "$green" -strokewidth 2 -draw 'line 13,8 13,18' \
    -draw 'line 9,14 13,18' -draw 'line 17,14 13,18' search_updates.png
icon -fill "$blue" -draw 'roundrectangle 2,4 22,20 3,3' -draw 'polygon 6,20 12,20 5,26' \
    -fill "$amber" -draw 'roundrectangle 12,12 30,26 3,3' -draw 'polygon 24,26 28,26 28,30' \
    language.png
icon -fill none -stroke "$green" -strokewidth 2 -draw 'line 4,28 28,28' -draw 'line 4,4 4,28' \
    -draw 'polyline 6,22 11,14 16,18 21,8 27,12' history.png
convert -size 420x260 gradient:'#e8f5e9'-'#a5d6a7' -fill "$green" \
    -draw 'roundrectangle 330,40 390,140 10,10' -fill white -draw 'rectangle 338,50 382,80' \
    -fill "$amber" -draw 'circle 360,110 360,122' -fill "$green" \
    -draw 'rectangle 30,20 300,26' varno_logo.png
