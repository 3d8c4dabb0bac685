#!/usr/bin/env bash
# One whole run under valgrind with SDL's software renderer: no invalid read
# or write, no memory definitely lost. Usage: valgrind_run.sh POSTERGEN EXAMPLE_DIR
set -euo pipefail
binary=$1
example=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$example"/bg.png "$example"/city_photo1.jpeg "$example"/city_photo2.jpeg \
   "$example"/d1.txt "$example"/d2.txt "$work"/
cp /usr/share/fonts/truetype/wqy/wqy-microhei.ttc "$work"/font.ttf
printf '2 72\n' > "$work"/size.txt
cd "$work"
status=0
SDL_VIDEODRIVER=dummy valgrind --quiet --error-exitcode=99 --leak-check=full \
  --soname-synonyms=somalloc=*jemalloc* \
  --show-leak-kinds=definite --errors-for-leak-kinds=definite \
  "$binary" > stdout.txt 2> log.txt || status=$?
grep -v '^INFO: \(start\|end\)->' log.txt || true
if [ "$status" -ne 0 ]; then
  echo "postergen under valgrind ended with status $status"
  exit 1
fi
for poster in result1.png result2.png; do
  [ -s "$poster" ] || { echo "$poster was not written"; exit 1; }
done
echo "valgrind: 2 posters, no errors"
