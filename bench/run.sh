#!/usr/bin/env bash
# The benchmark of a whole run, on two workloads made in out/bench/: real
# photographs (Debian's lomiri-wallpapers-16.04, scaled to 4000 x 3000 and
# 3000 x 4000) and grainy synthetic photographs (edges and sensor-like
# grain). For each, ROUNDS times, side by side:
#   - postergen on every CPU, with a preloaded timer (bench/phase_timer.cpp)
#     that reports its phases and peak memory, and on one CPU (taskset);
#   - the IMG_SavePNG pipeline (bench/floor.cpp): decoding the inputs with
#     IMG_Load and encoding the same posters with IMG_SavePNG, nothing else,
#     on every CPU and on one;
#   - ImageMagick, one convert per poster (bench/peer_imagemagick.sh);
#   - sharp (libvips), the same posters from a Node script
#     (bench/peer_sharp.js), with adaptive PNG filters (files of about
#     postergen's size) and with sharp's default PNG settings; sharp is
#     installed with npm into out/sharp, for the benchmark alone.
# Every row's peak resident memory is measured too. Then the bytes of the
# posters against IMG_SavePNG's, on both workloads and on the example's
# posters, and prints medians and the ratios to the targets as Markdown.
# Usage: bench/run.sh [ROUNDS] [ITEMS]     (defaults 3 and 6)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
rounds=${1:-3}
items=${2:-6}
"$root/scripts/install-deps.sh" imagemagick bc lomiri-wallpapers-16.04 time
command -v npm >/dev/null || "$root/scripts/install-deps.sh" npm
if [ ! -d "$root/out/sharp/node_modules/sharp" ]; then
  mkdir -p "$root/out/sharp"
  (cd "$root/out/sharp" && npm install --no-audit --no-fund sharp@0.35 >/dev/null)
fi
export NODE_PATH=$root/out/sharp/node_modules
build=$root/build-bench
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DPOSTERGEN_TESTS=OFF -DPOSTERGEN_BENCH=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target postergen make_workload floor phase_timer >/dev/null
font=/usr/share/fonts/truetype/wqy/wqy-microhei.ttc
one_cpu=$(sed -n 's/^Cpus_allowed_list:[[:space:]]*\([0-9]*\).*/\1/p' /proc/self/status)

prepare() { # NAME: makes out/bench/NAME once
  local dir=$root/out/bench/$1
  [ -f "$dir/.items-$items" ] && return
  rm -rf "$dir" && mkdir -p "$dir"
  case $1 in
    grainy) (cd "$dir" && "$build/bench/make_workload" "$items" >/dev/null) ;;
    photographic) (cd "$dir" && "$root/bench/make_photographic.sh" "$build/bench/make_workload" "$items") ;;
    example) cp "$root"/example/* "$dir/" ;;
  esac
  cp "$font" "$dir/font.ttf"
  touch "$dir/.items-$items"
}

now() { date +%s.%N; }
# timed OUT_VAR_PREFIX CMD...: runs CMD, setting <prefix>_s and <prefix>_kib
# to its wall time and peak resident memory (the largest of its processes)
timed() {
  local prefix=$1
  shift
  /usr/bin/time -f "%e %M" -o "$root/out/bench/.time" "$@" >/dev/null 2>&1
  read -r "${prefix}_s" "${prefix}_kib" <"$root/out/bench/.time"
}
field() { sed -n "s/.*\b$1=\([0-9.]*\).*/\1/p" <<<"$2"; }
median() { sort -g | awk '{v[NR]=$1} END {print (NR%2 ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2)}'; }
med() { printf '%s\n' "$@" | median; }
ratio() { echo "scale=3; $1 / $2" | bc; }
bytes() { cat "$@" | wc -c; }

postergen() { # DIR [taskset CPU]: prints the phase line of one run
  local dir=$1
  rm -f "$dir/phases.txt" "$dir"/result*.png
  (cd "$dir" && POSTERGEN_PHASES_FILE=$dir/phases.txt LD_PRELOAD=$build/bench/libphase_timer.so \
    ${2:+taskset -c "$2"} "$build/postergen" >/dev/null 2>log.txt)
  cat "$dir/phases.txt"
}

floor() { # DIR [taskset CPU]: prints the floor's line, then its peak in KiB
  local dir=$1 posters=()
  for ((i = 1; i <= $(cut -d' ' -f1 "$dir/size.txt"); i++)); do posters+=("$dir/result$i.png"); done
  /usr/bin/time -f "%M" -o "$root/out/bench/.floor-peak" \
    ${2:+taskset -c "$2"} "$build/bench/floor" "$dir" "${posters[@]}"
  echo "peak_kib=$(cat "$root/out/bench/.floor-peak")"
}

report() { # WORKLOAD
  local dir=$root/out/bench/$1
  printf '%s 64\n' "$items" >"$dir/size.txt"
  local -a P2 P1 LOAD DEC UP COMP READ DRAIN DEFL SYNC RSS2 RSS1 F2 F1 M FR2 FR1 MR SA SAR SD SDR
  for ((r = 1; r <= rounds; r++)); do
    echo "$1: round $r of $rounds" >&2
    line=$(postergen "$dir")
    P2+=("$(field total "$line")") RSS2+=("$(field peak_rss_kib "$line")")
    LOAD+=("$(field load "$line")") DEC+=("$(field decode "$line")") UP+=("$(field upload "$line")")
    COMP+=("$(field compose "$line")") READ+=("$(field readback "$line")")
    DRAIN+=("$(field drain "$line")") DEFL+=("$(field deflate "$line")") SYNC+=("$(field sync "$line")")
    line=$(floor "$dir")
    F2+=("$(field floor "$line")") FR2+=("$(field peak_kib "$line")")
    line=$(floor "$dir" "$one_cpu")
    F1+=("$(field floor "$line")") FR1+=("$(field peak_kib "$line")")
    line=$(postergen "$dir" "$one_cpu")
    P1+=("$(field total "$line")") RSS1+=("$(field peak_rss_kib "$line")")
    timed magick "$root/bench/peer_imagemagick.sh" "$dir"
    M+=("$magick_s") MR+=("$magick_kib")
    timed adaptive node "$root/bench/peer_sharp.js" "$dir" adaptive
    SA+=("$adaptive_s") SAR+=("$adaptive_kib")
    sharpAdaptiveBytes=$(bytes "$dir"/sharp_result*.png)
    timed default node "$root/bench/peer_sharp.js" "$dir" default
    SD+=("$default_s") SDR+=("$default_kib")
    sharpDefaultBytes=$(bytes "$dir"/sharp_result*.png)
  done
  local ours floors
  ours=$(bytes "$dir"/result*.png) floors=$(bytes "$dir"/floor*.png)
  local p2 p1 f2 f1 m sa sd
  p2=$(med "${P2[@]}") p1=$(med "${P1[@]}") f2=$(med "${F2[@]}") f1=$(med "${F1[@]}") m=$(med "${M[@]}")
  sa=$(med "${SA[@]}") sd=$(med "${SD[@]}")
  cat <<REPORT

### $1 workload ($items posters, median of $rounds rounds)

| Measure | Value |
|---|---|
| postergen, every CPU ($(nproc)): total | $p2 s |
| … loading (start-up, decoding ahead, textures) | $(med "${LOAD[@]}") s |
| … … decoding, summed over threads | $(med "${DEC[@]}") s |
| … … textures from the decoded images | $(med "${UP[@]}") s |
| … composition on the main thread | $(med "${COMP[@]}") s |
| … read-back | $(med "${READ[@]}") s |
| … waiting for the writers after the last read-back | $(med "${DRAIN[@]}") s |
| … deflating, summed over threads | $(med "${DEFL[@]}") s |
| … syncing to the disk, summed over threads | $(med "${SYNC[@]}") s |
| postergen, one CPU (taskset -c $one_cpu): total | $p1 s |
| IMG_SavePNG pipeline, every CPU | $f2 s |
| IMG_SavePNG pipeline, one CPU | $f1 s |
| ImageMagick, one convert per poster | $m s |
| sharp, adaptive PNG filters | $sa s |
| sharp, its default PNG settings | $sd s |
| peak memory, postergen every CPU / one CPU | $(med "${RSS2[@]}") / $(med "${RSS1[@]}") KiB |
| peak memory, IMG_SavePNG pipeline every CPU / one CPU | $(med "${FR2[@]}") / $(med "${FR1[@]}") KiB |
| peak memory, ImageMagick (its largest process) | $(med "${MR[@]}") KiB |
| peak memory, sharp adaptive / default | $(med "${SAR[@]}") / $(med "${SDR[@]}") KiB |
| posters' bytes, postergen / IMG_SavePNG | $ours / $floors |
| posters' bytes, sharp adaptive / default | $sharpAdaptiveBytes / $sharpDefaultBytes |

| Ratio | Value | Target |
|---|---|---|
| postergen ÷ IMG_SavePNG pipeline | $(ratio "$p2" "$f2") | ≤ $([ "$1" = photographic ] && echo 0.40 || echo 0.45) |
| postergen ÷ ImageMagick | $(ratio "$p2" "$m") | ≤ 0.5 |
| postergen ÷ sharp, adaptive filters | $(ratio "$p2" "$sa") | ≤ 0.45 |
| postergen ÷ sharp, default settings | $(ratio "$p2" "$sd") | ≤ 0.8 |
| on one CPU: postergen ÷ IMG_SavePNG pipeline | $(ratio "$p1" "$f1") | ≤ 0.5 |
| postergen on every CPU ÷ on one | $(ratio "$p2" "$p1") | ≤ 0.65 |
| bytes ÷ IMG_SavePNG's | $(ratio "$ours" "$floors") | ≤ 1.05 |
REPORT
}

for w in photographic grainy example; do prepare "$w"; done
report photographic
report grainy
ex=$root/out/bench/example
postergen "$ex" >/dev/null
floor "$ex" >/dev/null
echo
echo "Example's posters: $(bytes "$ex"/result*.png) bytes against IMG_SavePNG's $(bytes "$ex"/floor*.png):" \
  "$(ratio "$(bytes "$ex"/result*.png)" "$(bytes "$ex"/floor*.png)") (target ≤ 1.05)."
