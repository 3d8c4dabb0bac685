#!/usr/bin/env bash
# Installs what is missing, builds, and makes the example's posters in
# out/example/ (a copy of example/, so the committed inputs stay clean).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
BUILD_TARGET=postergen "$root/scripts/build.sh"
work=$root/out/example
rm -rf "$work"
mkdir -p "$work"
cp -r "$root/example/." "$work/"
cp /usr/share/fonts/truetype/wqy/wqy-microhei.ttc "$work/font.ttf"
cd "$work"
"$root/build/postergen"
echo "Posters written to $work:"
ls "$work"/result*.png 2>/dev/null || echo "(none: the example has no items)"
