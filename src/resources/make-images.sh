#!/bin/sh
# Draws the program's images. The PNGs are committed; run this only to change them.
# Needs ImageMagick 6 (Debian package imagemagick).
set -eu
cd "$(dirname "$0")/images"
IM=${IM:-convert}

# Main icon, 32x32 RGBA: a quill-blue rounded square with a white "K".
$IM -size 32x32 xc:none -fill '#2f5d8a' -draw 'roundrectangle 1,1 30,30 6,6' \
    -fill white -font DejaVu-Sans-Bold -pointsize 22 -gravity center -annotate +0+1 'K' \
    -define png:color-type=6 PNG32:icon_main.png

# Master macro icon, 16x16 RGBA: a folder.
$IM -size 16x16 xc:none -fill '#d9a521' -draw 'rectangle 1,3 7,5' \
    -fill '#f2c14e' -draw 'rectangle 1,5 14,13' -define png:color-type=6 PNG32:icon_master_macro.png

# Note icon, 16x16 RGBA: a sheet with lines.
$IM -size 16x16 xc:none -fill white -stroke '#6b6b6b' -draw 'rectangle 3,1 12,14' \
    -stroke '#2f5d8a' -draw 'line 5,4 10,4' -draw 'line 5,7 10,7' -draw 'line 5,10 10,10' \
    -define png:color-type=6 PNG32:icon_macro.png

# In-use icon, 32x32 RGBA: a red disc with a white bar.
$IM -size 32x32 xc:none -fill '#c62828' -draw 'circle 16,16 16,2' \
    -fill white -draw 'rectangle 8,13 24,19' -define png:color-type=6 PNG32:icon_in_use.png

# Expand button icon, 128x128 RGBA: a double chevron.
$IM -size 128x128 xc:none -fill '#2f5d8a' \
    -draw 'polygon 24,20 64,60 104,20 104,44 64,84 24,44' \
    -draw 'polygon 24,60 64,100 104,60 104,84 64,124 24,84' \
    -define png:color-type=6 PNG32:expand.png

# Donation button, 122x47, 8-bit palette.
$IM -size 122x47 xc:'#ffc439' -fill '#253b80' -draw 'roundrectangle 0,0 121,46 10,10' \
    -fill '#ffc439' -draw 'roundrectangle 2,2 119,44 9,9' \
    -fill '#253b80' -font DejaVu-Sans-Bold -pointsize 16 -gravity center -annotate +0+0 'Donate' \
    -colors 64 -type Palette PNG8:btn_paypal_donate.png

# Windows icon for the program file (one 32x32 image, 32 bits per pixel).
$IM icon_main.png -define icon:auto-resize=32 keyquill.ico

# The desktop icons (installed into the hicolor theme): drawn as an SVG, rasterized here with
# rsvg-convert (Debian package librsvg2-bin).
for size in 16 32 48 128; do
    rsvg-convert -w $size -h $size ../icons/keyquill.svg -o ../icons/keyquill-$size.png
done
