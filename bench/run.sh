#!/usr/bin/env bash
# The benchmark of a whole run. Makes a realistic workload (out/bench), then
# alternates, ROUNDS times, postergen (phases timed by a preloaded timer),
# the floor (decoding the same inputs and encoding the same posters with
# SDL_image and nothing else) and the ImageMagick peer (one process per
# poster), and reports medians, the ratios to the targets, and the growth of
# peak memory per photograph.
# Usage: bench/run.sh [ROUNDS] [ITEMS]     (defaults 3 and 6)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
rounds=${1:-3}
items=${2:-6}
"$root/scripts/install-deps.sh" imagemagick bc
build=$root/build-bench
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DPOSTERGEN_TESTS=OFF -DPOSTERGEN_BENCH=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target postergen make_workload floor phase_timer >/dev/null

work=$root/out/bench
if [ ! -f "$work/.items-$items" ]; then
  rm -rf "$work" && mkdir -p "$work"
  (cd "$work" && "$build/bench/make_workload" "$items")
  cp /usr/share/fonts/truetype/wqy/wqy-microhei.ttc "$work/font.ttf"
  touch "$work/.items-$items"
fi
cd "$work"
printf '%s 64\n' "$items" > size.txt

now() { date +%s.%N; }
field() { sed -n "s/.*\b$1=\([0-9.]*\).*/\1/p" <<<"$2"; }
median() { sort -g | awk '{v[NR]=$1} END {print (NR%2 ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2)}'; }

runPostergen() {  # prints the phase line of one run with $1 items; $2 video driver
  printf '%s 64\n' "$1" > size.txt
  rm -f phases.txt
  SDL_VIDEODRIVER=${2:-} POSTERGEN_PHASES_FILE=$work/phases.txt \
    LD_PRELOAD=$build/bench/libphase_timer.so "$build/postergen" >/dev/null 2>log.txt
  cat phases.txt
}

declare -a P_LOAD P_DECODE P_UPLOAD P_COMPOSE P_READ P_ENCODE P_SYNC P_TOTAL F_DECODE F_ENCODE F_TOTAL M_TOTAL RSS
declare -a S_TOTAL S_READ S_UPLOAD
posters=()
for ((i = 1; i <= items; i++)); do posters+=("result$i.png"); done
for ((r = 1; r <= rounds; r++)); do
  echo "round $r of $rounds" >&2
  line=$(runPostergen "$items")
  P_LOAD+=("$(field load "$line")"); P_DECODE+=("$(field decode "$line")")
  P_UPLOAD+=("$(field upload "$line")"); P_COMPOSE+=("$(field compose "$line")")
  P_READ+=("$(field readback "$line")"); P_ENCODE+=("$(field encode "$line")")
  P_SYNC+=("$(field sync "$line")")
  P_TOTAL+=("$(field total "$line")"); RSS+=("$(field peak_rss_kib "$line")")
  line=$(runPostergen "$items" dummy)
  S_TOTAL+=("$(field total "$line")"); S_READ+=("$(field readback "$line")")
  S_UPLOAD+=("$(field upload "$line")")
  line=$("$build/bench/floor" "$work" "${posters[@]}")
  F_DECODE+=("$(field decode "$line")"); F_ENCODE+=("$(field encode "$line")")
  F_TOTAL+=("$(field floor "$line")")
  start=$(now)
  "$root/bench/peer_imagemagick.sh" "$work" 2>/dev/null
  M_TOTAL+=("$(echo "$(now) - $start" | bc)")
done
med() { printf '%s\n' "$@" | median; }

# Peak memory against the number of photographs held.
declare -a SLOPE_N SLOPE_RSS
for n in 2 4 "$items"; do
  line=$(runPostergen "$n")
  SLOPE_N+=("$n"); SLOPE_RSS+=("$(field peak_rss_kib "$line")")
done
printf '%s 64\n' "$items" > size.txt
slope=$(paste <(printf '%s\n' "${SLOPE_N[@]}") <(printf '%s\n' "${SLOPE_RSS[@]}") |
  awk '{n++; sx+=$1; sy+=$2; sxx+=$1*$1; sxy+=$1*$2} END {printf "%.0f", (n*sxy-sx*sy)/(n*sxx-sx*sx)}')
decoded_kib=$((4000 * 3000 * 4 / 1024))

total=$(med "${P_TOTAL[@]}"); software=$(med "${S_TOTAL[@]}"); floor=$(med "${F_TOTAL[@]}"); peer=$(med "${M_TOTAL[@]}")
ratio() { echo "scale=3; $1 / $2" | bc; }
cat <<REPORT
| Measure (median of $rounds rounds, $items posters) | Seconds |
|---|---|
| postergen: input loading (start-up included) | $(med "${P_LOAD[@]}") |
| … of which decoding (IMG_Load, and libjpeg itself for the JPEGs) | $(med "${P_DECODE[@]}") |
| … of which textures from the decoded images | $(med "${P_UPLOAD[@]}") |
| postergen: composition | $(med "${P_COMPOSE[@]}") |
| postergen: read-back | $(med "${P_READ[@]}") |
| postergen: PNG encoding | $(med "${P_ENCODE[@]}") |
| postergen: syncing each poster to the disk (fsync) | $(med "${P_SYNC[@]}") |
| postergen: total | $total |
| postergen, software renderer (SDL_VIDEODRIVER=dummy): total | $software |
| … of which textures from the decoded images | $(med "${S_UPLOAD[@]}") |
| … of which read-back | $(med "${S_READ[@]}") |
| floor: IMG_Load of the inputs | $(med "${F_DECODE[@]}") |
| floor: IMG_SavePNG of the posters | $(med "${F_ENCODE[@]}") |
| floor: total | $floor |
| decoding, postergen less the floor: what decoding the JPEGs with libjpeg, their damage, markers and profiles seen, adds | $(echo "$(med "${P_DECODE[@]}") - $(med "${F_DECODE[@]}")" | bc) |
| ImageMagick, one process per poster | $peer |

| Ratio | Value | Target |
|---|---|---|
| postergen ÷ floor | $(ratio "$total" "$floor") | ≤ 1.05 |
| postergen with the software renderer ÷ floor | $(ratio "$software" "$floor") | ≤ 1.05 |
| postergen ÷ ImageMagick | $(ratio "$total" "$peer") | ≤ 0.75 |
| postergen: syncing ÷ total | $(ratio "$(med "${P_SYNC[@]}")" "$total") | ≤ 0.02 |
| peak memory growth per photograph | $slope KiB | ≤ $decoded_kib KiB (4000 × 3000 × 4 bytes) |

Peak resident memory with 2, 4 and $items photographs: ${SLOPE_RSS[*]} KiB (median run: $(med "${RSS[@]}") KiB).
REPORT
