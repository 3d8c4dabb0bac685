#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors, and runs the
# whole test suite.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" -DPOSTERGEN_TESTS=ON -DPOSTERGEN_WERROR=ON
cd "${BUILD_DIR:-$root/build}"
ctest --output-on-failure -j"$(nproc)"
