#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and the sanitizers and runs each
# for FUZZ_SECONDS (default 60) from its committed seed corpus. A crash, a
# failed check or a sanitizer report fails the run; libFuzzer leaves the
# input as crash-* in the working directory.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${FUZZ_BUILD_DIR:-$root/build-fuzz}
seconds=${FUZZ_SECONDS:-60}
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPOSTERGEN_SANITIZE=ON -DPOSTERGEN_FUZZ=ON -DPOSTERGEN_TESTS=OFF -DPOSTERGEN_WERROR=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target run_configuration_fuzzer caption_fuzzer image_header_fuzzer \
  thumbnail_fuzzer
for target in run_configuration caption image_header thumbnail; do
  corpus=$(mktemp -d)
  echo "Fuzzing ${target} for ${seconds} s"
  "$build/fuzz/${target}_fuzzer" -max_total_time="$seconds" -print_final_stats=1 \
    "$corpus" "$root/fuzz/corpus/${target/%caption/captions}" 2>&1 | tail -n 12
  rm -rf "$corpus"
done
