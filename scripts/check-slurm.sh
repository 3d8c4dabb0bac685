#!/usr/bin/env bash
# Runs the Slurm recipe of docs/clusters.md, as written, on a one-node Slurm on this
# machine (as root; not part of CI): 8 items made from the example, item 5's
# photograph damaged so that postergen cannot decode it. Checks that the
# array job and the collect job make items 1-4 and 6-8 byte for byte as one
# postergen run makes them, name item 5 with postergen's message and status,
# and leave no plan behind.
#   scripts/check-slurm.sh [BUILD_DIR]     (default build/; needs postergen-batch there)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
slurm=${ONE_NODE_SLURM:-$root/../shared/tools/one-node-slurm.sh}
fail() { echo "check-slurm: FAIL: $*" >&2; exit 1; }
[ -x "$build/postergen-batch" ] && [ -x "$build/postergen" ] || fail "build $build first"

"$slurm" start >/dev/null
trap '"$slurm" stop >/dev/null' EXIT
scratch=$(mktemp -d /tmp/postergen-slurm.XXXXXX)
export PATH="$build:$PATH"

# 8 items: the example's 4 twice; item 5's pixel data damaged behind a good header.
home=$scratch/posters
mkdir "$home"
cp /usr/share/fonts/truetype/wqy/wqy-microhei.ttc "$home/font.ttf"
cp "$root/example/bg.png" "$home/"
for i in 1 2 3 4 5 6 7 8; do
  j=$(((i - 1) % 4 + 1))
  cp "$root/example/d$j.txt" "$home/d$i.txt"
  cp "$root/example/city_photo$j.jpeg" "$home/city_photo$i.jpeg"
done
read -r _ size < "$root/example/size.txt"
echo "8 $size" > "$home/size.txt"
# A PNG whose image data no longer matches its checksum: the header reads,
# decoding fails.
python3 - "$root/example/bg.png" "$home/city_photo5.jpeg" <<'PY'
import sys
data = bytearray(open(sys.argv[1], 'rb').read())
data[data.index(b'IDAT') + 6] ^= 0x55
open(sys.argv[2], 'wb').write(data)
PY
# One postergen run makes the reference posters (item 5 with a good photograph).
cp -r "$home" "$scratch/one"
cp "$root/example/city_photo1.jpeg" "$scratch/one/city_photo5.jpeg"
(cd "$scratch/one" && SDL_VIDEODRIVER=dummy postergen >/dev/null 2>&1) || fail "the one run failed"

cd "$scratch"
# The recipe of docs/clusters.md ("With a Slurm array job"), with this scratch
# folder for /shared, -n 3 so that the 8 items make three tasks, and the
# collect job's ID kept to wait for it below.
plan=$scratch/plan runs=$scratch/runs.txt
postergen-batch --plan "$plan" -n 3 -j 1 --memory 4G "$home" > "$runs" || exit
[ -s "$runs" ] || { echo "nothing to submit"; exit 0; }
cat > posters.sbatch <<'SCRIPT'
#!/bin/sh
#SBATCH --cpus-per-task=1 --mem=4G
run=$(sed -n "${SLURM_ARRAY_TASK_ID}p" "$1") && [ -n "$run" ] ||
  { echo "no run $SLURM_ARRAY_TASK_ID in $1" >&2; exit 2; }
SDL_VIDEODRIVER=dummy exec postergen-batch --run-planned "$run"
SCRIPT
job=$(sbatch --parsable --array=1-"$(wc -l < "$runs")" posters.sbatch "$runs")
collect=$(sbatch --parsable --dependency=afterany:"$job" --mem=1G --wrap "postergen-batch --collect $plan")

for _ in $(seq 300); do
  [ -z "$(squeue -h -j "$job,$collect" 2>/dev/null)" ] && break
  sleep 1
done
[ -z "$(squeue -h -j "$job,$collect" 2>/dev/null)" ] || fail "the jobs did not end in 5 minutes"
out=$scratch/slurm-$collect.out
[ -f "$out" ] || fail "no output of the collect job"
echo "== the collect job said:"
cat "$out"
grep -q '^postergen-batch: 7 of 8 posters written' "$out" || fail "not 7 of 8 posters"
grep -q '^item 5: .*(status 174' "$out" || fail "item 5 not named with status 174"
[ "$(grep -c '^item ' "$out")" = 1 ] || fail "more than item 5 failed"
[ ! -e "$plan" ] || fail "the plan was left behind"
for i in 1 2 3 4 6 7 8; do
  cmp -s "$home/result$i.png" "$scratch/one/result$i.png" || fail "result$i.png differs from one run's"
done
[ ! -e "$home/result5.png" ] || fail "result5.png exists"
echo "check-slurm: OK: array job $job ($(wc -l < "$runs") tasks) and collect job $collect"
cd / && rm -rf "$scratch"
