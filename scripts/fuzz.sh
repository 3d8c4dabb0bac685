#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and the sanitizers and runs each
# for FUZZ_SECONDS (default 60) from its committed seed corpus, as many at
# once as there are CPUs (FUZZ_JOBS): each fuzzer is one process on one CPU,
# so on 2 cores the four take 2 minutes instead of 4. A crash, a failed
# check or a sanitizer report fails the run; libFuzzer leaves the input as
# crash-* in the working directory.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${FUZZ_BUILD_DIR:-$root/build-fuzz}
seconds=${FUZZ_SECONDS:-60}
jobs=${FUZZ_JOBS:-$(nproc)}
targets=(run_configuration caption image_header thumbnail)
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPOSTERGEN_SANITIZE=ON -DPOSTERGEN_FUZZ=ON -DPOSTERGEN_TESTS=OFF -DPOSTERGEN_WERROR=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target "${targets[@]/%/_fuzzer}"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# fuzz TARGET: runs it in its own scratch corpus; its output and status in
# $scratch/TARGET.out and $scratch/TARGET.status
fuzz() {
  local corpus=$scratch/$1.corpus status=0
  mkdir -p "$corpus"
  "$build/fuzz/${1}_fuzzer" -max_total_time="$seconds" -print_final_stats=1 \
    "$corpus" "$root/fuzz/corpus/${1/%caption/captions}" >"$scratch/$1.out" 2>&1 || status=$?
  echo "$status" >"$scratch/$1.status"
}
failed=()
# report TARGET: the end of its output, in the order of the targets
report() {
  echo "Fuzzed ${1} for ${seconds} s"
  tail -n 12 "$scratch/$1.out"
  [ "$(cat "$scratch/$1.status")" = 0 ] || failed+=("$1")
}
running=()
for target in "${targets[@]}"; do
  if ((${#running[@]} >= jobs)); then
    wait "${running[0]}" || true
    running=("${running[@]:1}")
  fi
  echo "Fuzzing ${target} for ${seconds} s"
  fuzz "$target" &
  running+=($!)
done
wait
for target in "${targets[@]}"; do report "$target"; done
if ((${#failed[@]})); then
  echo "fuzz: failed: ${failed[*]}" >&2
  exit 1
fi
