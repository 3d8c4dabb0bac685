#!/usr/bin/env bash
# The benchmark of postergen-batch, on ITEMS (default 12) posters of the
# photographic workload of bench/run.sh (out/bench-batch-ITEMS), with the renderer
# postergen picks itself (OpenGL through Mesa here):
#   - one postergen run over the items (every CPU) against the batch at
#     its defaults with and without the contact sheet, and at -j 1, -j 2,
#     -j 2 without the contact sheet and -j 2 -n 3, medians of ROUNDS rounds, alternating: wall time, and the
#     CPU time of all the processes (which another load on the machine does
#     not change);
#   - the cost of planning and linking, per item, from --plan over 2400
#     items whose files link to the workload's;
#   - the largest peak resident memory of a postergen run with --memory 1G
#     and -j 2.
# Usage: [ITEMS=8] [WAYS="defaults;--no-contact-sheet"] bench/batch.sh [ROUNDS]
# (default 3 rounds, every way)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
rounds=${1:-3}
items=${ITEMS:-12}
"$root/scripts/install-deps.sh" bc imagemagick lomiri-wallpapers-16.04
build=$root/build-batch-bench
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DPOSTERGEN_TESTS=OFF -DPOSTERGEN_BENCH=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target postergen postergen-batch make_workload >/dev/null

work=$root/out/bench-batch-$items
if [ ! -f "$work/.items-$items" ]; then
  rm -rf "$work" && mkdir -p "$work"
  (cd "$work" && "$root/bench/make_photographic.sh" "$build/bench/make_workload" "$items")
  cp /usr/share/fonts/truetype/wqy/wqy-microhei.ttc "$work/font.ttf"
  touch "$work/.items-$items"
fi
printf '%s 64\n' "$items" > "$work/size.txt"

now() { date +%s.%N; }
median() { sort -g | awk '{v[NR]=$1} END {print (NR%2 ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2)}'; }
med() { printf '%s\n' "$@" | median; }
clean() { rm -rf "$work"/result*.png "$work"/contact-sheet "$work"/contact-sheet.html; }
# Runs "$@" and prints its wall time and the user + system time of it and
# everything it waited for, in seconds.
measure() {
  local start cpu
  start=$(now)
  cpu=$("$@" >/dev/null 2>&1; times)  # the second line: what it waited for
  echo "$(echo "$(now) - $start" | bc) $(tail -n 1 <<<"$cpu" | awk '{
    t = 0; for (i = 1; i <= 2; i++) { split($i, p, "m"); t += p[1] * 60 + p[2] } print t }')"
}

ways=("defaults" "--no-contact-sheet" "-j 1" "-j 2" "-j 2 --no-contact-sheet" "-j 2 -n 3")
# WAYS="defaults;--no-contact-sheet" measures those alone (for many items).
[ -n "${WAYS:-}" ] && IFS=';' read -ra ways <<<"$WAYS"
declare -a ONE ONE_CPU
declare -A WALL CPU
load_before=$(cut -d' ' -f1 /proc/loadavg)
for ((r = 1; r <= rounds; r++)); do
  echo "round $r of $rounds" >&2
  clean
  read -r wall cpu < <(measure env -C "$work" "$build/postergen")
  ONE+=("$wall"); ONE_CPU+=("$cpu")
  for way in "${ways[@]}"; do
    clean
    args=()
    [ "$way" = defaults ] || read -ra args <<<"$way"
    read -r wall cpu < <(measure "$build/postergen-batch" -q "${args[@]}" "$work")
    WALL[$way]+="$wall "; CPU[$way]+="$cpu "
  done
done
load_after=$(cut -d' ' -f1 /proc/loadavg)

# Peak memory of each run within a budget of 1 GiB for two jobs.
clean
memory=$("$build/postergen-batch" -q -j 2 --memory 1G "$work" 2>&1 | grep "posters written")
peak=$(sed -n 's/.*by \([0-9]*\) runs of postergen, the largest peaking at \([0-9]*\) MiB.*/\1 \2/p' <<<"$memory")
made=$(ls "$work"/result*.png | wc -l)
clean

# Planning and linking: --plan over many items whose inputs link to the
# workload's, nothing run.
many=$root/out/bench-batch-plan
planned=2400
rm -rf "$many" && mkdir -p "$many"
for name in font.ttf bg.png; do ln -s "$work/$name" "$many/$name"; done
for ((i = 1; i <= planned; i++)); do
  k=$(((i - 1) % items + 1))
  ln -s "$work/city_photo$k.jpeg" "$many/city_photo$i.jpeg"
  ln -s "$work/d$k.txt" "$many/d$i.txt"
done
printf '%s 64\n' "$planned" > "$many/size.txt"
start=$(now)
"$build/postergen-batch" -q -j 2 -n 50 --plan "$many/plan" "$many" >/dev/null
plan_seconds=$(echo "$(now) - $start" | bc)
rm -rf "$many"

one=$(med "${ONE[@]}"); one_cpu=$(med "${ONE_CPU[@]}")
echo "| Measure (median of $rounds rounds, $items posters, $(nproc) CPUs) | Wall (s) | CPU (s) | ÷ one run's wall |"
echo "|---|---|---|---|"
echo "| one postergen run over the $items items | $one | $one_cpu | 1 |"
for way in "${ways[@]}"; do
  # shellcheck disable=SC2086
  wall=$(med ${WALL[$way]}); cpu=$(med ${CPU[$way]})
  echo "| postergen-batch $way | $wall | $cpu | $(echo "scale=3; $wall / $one" | bc) |"
done
cat <<REPORT
| planning and linking, per item (--plan over $planned items) | $(echo "scale=6; $plan_seconds / $planned" | bc) | | |

Targets: the batch at its defaults ÷ one run ≤ 1.0; with ÷ without the
contact sheet ≤ 1.03, here
$(echo "scale=3; $(med ${WALL["defaults"]}) / $(med ${WALL["--no-contact-sheet"]})" | bc) at the defaults$([ -n "${WALL["-j 2"]:-}" ] && echo " and
$(echo "scale=3; $(med ${WALL["-j 2"]}) / $(med ${WALL["-j 2 --no-contact-sheet"]})" | bc) at -j 2").
Largest peak of a
postergen run with --memory 1G -j 2 (${peak% *} runs, $made posters): ${peak#* } MiB
(target ≤ 512 MiB). Single runs: ${ONE[*]}. Load average (1 min) before and
after the rounds: $load_before, $load_after.
REPORT
