#!/usr/bin/env bash
# Redraws the History page's tool bar images with ImageMagick (run from this folder). Simple
# shapes drawn for this program, no third-party artwork.
set -euo pipefail
green='#2e7d32'; blue='#1565c0'; grey='#455a64'; red='#c62828'; amber='#f9a825'
icon() { convert -size 32x32 xc:none "$@"; }

# Read history from the device: an arrow down into a tray.
icon -fill "$green" -draw 'rectangle 13,3 19,15' -draw 'polygon 7,14 25,14 16,24' \
    -fill none -stroke "$grey" -strokewidth 3 -draw 'polyline 4,20 4,28 28,28 28,20' download.png
# Remove history from the device: a bin with a red cross.
icon -fill "$grey" -draw 'rectangle 8,9 24,29' -draw 'rectangle 6,5 26,8' -draw 'rectangle 13,2 19,5' \
    -stroke "$red" -strokewidth 3 -draw 'line 11,13 21,25' -draw 'line 21,13 11,25' \
    PNG32:remove_history.png
# PNG32: without it ImageMagick wrote this one as 16-bit RGB with a transparent colour key, which Qt
# decoded into pale streaks, so the working action looked disabled.
# Open a history file: an open folder with a line chart on it.
icon -fill "$amber" -draw 'polygon 2,8 12,8 14,11 28,11 28,28 2,28' \
    -fill none -stroke "$green" -strokewidth 2 -draw 'polyline 6,24 11,17 16,21 22,13 26,16' \
    open_history.png
# Export to CSV: a sheet with grid lines and an arrow to the right.
icon -fill white -stroke "$grey" -strokewidth 2 -draw 'rectangle 3,3 20,29' \
    -strokewidth 1 -draw 'line 3,10 20,10' -draw 'line 3,17 20,17' -draw 'line 3,24 20,24' \
    -draw 'line 11,3 11,29' -stroke none -fill "$blue" -draw 'polygon 18,12 26,12 26,8 31,16 26,24 26,20 18,20' \
    csv_export.png
# Filter: a funnel.
icon -fill "$blue" -draw 'polygon 3,4 29,4 19,16 19,28 13,24 13,16' filter_history.png
