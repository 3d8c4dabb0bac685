#!/usr/bin/env bash
# Installs what is missing and runs the whole test suite:
#   0. every C++ file follows .clang-format;
#   1. a build with warnings as errors, and every test against it (unit,
#      end to end, one run under valgrind, the install and the Debian
#      package, which lintian and mandoc must pass);
#   2. a clang build with AddressSanitizer and UndefinedBehaviorSanitizer,
#      and every test against it again;
#   3. each fuzzer for FUZZ_SECONDS (default 60), as many at once as there
#      are CPUs.
# With --packages it only prints the packages it installs beyond
# scripts/install-deps.sh's own, for .ci/run to install them in one go.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
packages=(clang clang-format libclang-rt-14-dev valgrind lintian mandoc)
if [ "${1:-}" = --packages ]; then
  echo "${packages[*]}"
  exit 0
fi
"$root/scripts/install-deps.sh" "${packages[@]}"

echo "== Format"
"$root/scripts/check-format.sh"

echo "== Build and test"
"$root/scripts/build.sh" -DPOSTERGEN_TESTS=ON -DPOSTERGEN_WERROR=ON
(cd "${BUILD_DIR:-$root/build}" && ctest --output-on-failure -j"$(nproc)")

echo "== Build and test with AddressSanitizer and UndefinedBehaviorSanitizer"
CC=clang CXX=clang++ BUILD_DIR=$root/build-sanitize "$root/scripts/build.sh" \
  -DPOSTERGEN_TESTS=ON -DPOSTERGEN_WERROR=ON -DPOSTERGEN_SANITIZE=ON
(cd "$root/build-sanitize" && ctest --output-on-failure -j"$(nproc)")

echo "== Fuzz"
"$root/scripts/fuzz.sh"
