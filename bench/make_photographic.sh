#!/usr/bin/env bash
# Makes the photographic workload in the current folder from real
# photographs (Debian's lomiri-wallpapers-16.04): N photographs cropped and
# scaled to 4000 x 3000 and 3000 x 4000 alternately as JPEG, a portrait
# photograph as the 2160 x 3840 PNG background, and the captions of the
# grainy workload (make_workload writes them; pass its path).
# Usage: make_photographic.sh MAKE_WORKLOAD N
set -euo pipefail
make_workload=$1
items=$2
photos=/usr/share/backgrounds
"$make_workload" "$items" >/dev/null # captions and size.txt; images replaced below
landscape=(Bridge_by_Sander_Klootwijk Dragonfly_by_Bolly sunset_by_Aitzol_Berasategi
  picosdeeuropa_by_Aitzol_Berasategi seeding_by_Clements_Engelhardt umang_by_Abhishek_Mudgal
  aitzgorri_by_Aitzol_Berasategi life_by_Aitzol_Berasategi greentock_by_Peter_Nerlich)
for ((i = 1; i <= items; i++)); do
  source=$photos/${landscape[(i - 1) % ${#landscape[@]}]}.jpg
  if ((i % 2)); then size=4000x3000; else size=3000x4000; fi
  convert "$source" -resize "$size^" -gravity center -extent "$size" -quality 92 \
    "city_photo$i.jpeg"
done
convert "$photos/Wine_by_Jakkub_Mede.jpg" -resize '2160x3840^' -gravity center \
  -extent 2160x3840 PNG24:bg.png
