#!/usr/bin/env bash
# The peer: the same posters made the way such scripts usually make them,
# one ImageMagick process per poster. The background is stretched over the
# poster, the photograph fitted and centred in its box, the caption wrapped
# at 2000 pixels, fitted and centred in its box.
# Usage: peer_imagemagick.sh WORKLOAD_DIR (writes peer_result<i>.png there)
set -euo pipefail
cd "$1"
read -r count size < size.txt
for ((i = 1; i <= count; i++)); do
  convert bg.png -resize '2160x3840!' \
    \( "city_photo$i.jpeg" -resize 1292x1292 -background none -gravity center -extent 1292x1292 \) \
    -gravity northwest -geometry +443+711 -composite \
    \( -background none -fill black -font font.ttf -pointsize "$size" -size 2000x "caption:$(cat "d$i.txt")" \
       -resize 1625x980 -gravity center -extent 1625x980 \) \
    -gravity northwest -geometry +275+2450 -composite \
    "peer_result$i.png"
done
