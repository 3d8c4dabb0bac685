#!/usr/bin/env bash
# Runs the Windows build (dist/postergen-<version>-win64.zip, unpacked as a
# user would) under Wine, headless (SDL_VIDEODRIVER=dummy, no display, a
# private WINEPREFIX in the build directory), in scratch working
# directories made of real files, and checks what it does:
#   a. three items, Chinese captions with CR LF line ends, a JPEG with EXIF
#      Orientation 6: status 0 and every poster pixel-identical to the Linux
#      build's on the same inputs;
#   b. a missing photograph: SDL's error on standard output, status 174
#      (-114514 as Windows reports it to a POSIX parent: its low 8 bits);
#   c. size.txt "1005 48": status 2 and the log line that says why;
#   d. Unicode command-line arguments change nothing;
#   e. a poster that cannot be written (a directory in its way) leaves no
#      temporary file, the others are written and an older result2.png is
#      replaced whole;
#   f. Ctrl-C during a run: it stops early with a non-zero status and
#      leaves no partial file and no truncated PNG.
# Prints "N passed, N failed" and exits non-zero on any failure.
#
# Needs scripts/build-windows.sh to have run. The Linux build to compare
# with is $LINUX_POSTERGEN, else build/postergen, else one built into
# build-win-linux/.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${WIN_BUILD_DIR:-$root/build-win64}

"$root/scripts/install-deps.sh" wine wine64 imagemagick libimage-exiftool-perl pngcheck \
  fonts-wqy-microhei unzip procps >/dev/null || exit 1

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt" 2>/dev/null)
zip=$root/dist/postergen-$version-win64.zip
if [ -z "$version" ] || [ ! -f "$zip" ]; then
  echo "no Windows build: run scripts/build-windows.sh first" >&2
  exit 1
fi

linux=${LINUX_POSTERGEN:-$root/build/postergen}
if [ ! -x "$linux" ]; then
  BUILD_DIR=$root/build-win-linux "$root/scripts/build.sh" -DPOSTERGEN_TESTS=OFF \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null || exit 1
  linux=$root/build-win-linux/postergen
fi

scratch=$build/wine-tests
rm -rf "$scratch" && mkdir -p "$scratch"
unzip -q "$zip" -d "$scratch"
exe=$scratch/postergen-$version-win64/postergen.exe

export WINEPREFIX=$build/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export SDL_VIDEODRIVER=dummy
unset DISPLAY WAYLAND_DISPLAY
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Making the Wine prefix $WINEPREFIX"
  wine wineboot -i >/dev/null 2>&1
fi
wineserver -p 60 # keep one server for the whole run
trap 'wineserver -k 2>/dev/null' EXIT

passed=0
failed=0
case_ok=1
fail() {
  echo "    $*"
  case_ok=0
}
begin() {
  echo "-- $1"
  case_ok=1
}
end_case() {
  if ((case_ok)); then
    echo "   ok"
    passed=$((passed + 1))
  else
    echo "   FAILED"
    failed=$((failed + 1))
  fi
}

# run DIR PROGRAM [ARGS...]: stdout, stderr (CR LF made LF) and status in DIR/.run/
run_in() {
  local dir=$1
  shift
  mkdir -p "$dir/.run"
  (cd "$dir" && "$@" >.run/stdout 2>.run/stderr.raw)
  echo $? >"$dir/.run/status"
  tr -d '\r' <"$dir/.run/stderr.raw" >"$dir/.run/stderr"
}
status_of() { cat "$1/.run/status"; }
same_pixels() { compare -metric AE "$1" "$2" null: 2>/dev/null; }

# The inputs of a run of N items: captions with CR LF, item 2 a JPEG turned
# by its EXIF Orientation 6, item 1 a PNG under the .jpeg name.
make_inputs() {
  local dir=$1 n=$2 i
  mkdir -p "$dir"
  cp /usr/share/fonts/truetype/wqy/wqy-microhei.ttc "$dir/font.ttf"
  printf '%s 48\r\n' "$n" >"$dir/size.txt"
  convert -size 540x960 gradient:'#f4e1c1-#6a8caf' "$dir/bg.png"
  local captions=("春天的城市，花开满街。" "老街的黄昏，灯火渐亮。\r\n第二行：江边的风。" "夜市里的人群，热闹非凡。")
  for ((i = 1; i <= n; i++)); do
    printf "${captions[(i - 1) % 3]}\r\n" >"$dir/d$i.txt"
    case $((i % 3)) in
      1) convert -seed $i -size 640x480 plasma:red-blue "png:$dir/city_photo$i.jpeg" ;;
      2)
        convert -size 600x400 gradient:yellow-green -fill black -draw 'rectangle 0,0 150,100' \
          -quality 90 "$dir/city_photo$i.jpeg"
        exiftool -q -overwrite_original -n -Orientation=6 "$dir/city_photo$i.jpeg"
        ;;
      0) convert -size 400x700 radial-gradient:white-purple -quality 85 "$dir/city_photo$i.jpeg" ;;
    esac
  done
}

echo "== Windows build under Wine: $exe"
inputs=$scratch/inputs3
make_inputs "$inputs" 3

begin "a. three items with Chinese CR LF captions and an EXIF-turned JPEG match the Linux build"
cp -r "$inputs" "$scratch/a-linux"
cp -r "$inputs" "$scratch/a-win"
run_in "$scratch/a-linux" "$linux"
run_in "$scratch/a-win" wine "$exe"
[ "$(status_of "$scratch/a-linux")" = 0 ] || fail "the Linux build ended with $(status_of "$scratch/a-linux")"
[ "$(status_of "$scratch/a-win")" = 0 ] || fail "status $(status_of "$scratch/a-win"), not 0: $(tail -3 "$scratch/a-win/.run/stderr")"
[ "$(exiftool -s3 -n -Orientation "$inputs/city_photo2.jpeg")" = 6 ] || fail "the test JPEG has no Orientation 6"
for i in 1 2 3; do
  w=$scratch/a-win/result$i.png
  if [ ! -f "$w" ]; then
    fail "result$i.png was not written"
  elif [ "$(identify -format '%wx%h' "$w")" != 2160x3840 ]; then
    fail "result$i.png is $(identify -format '%wx%h' "$w")"
  elif ! diff=$(same_pixels "$scratch/a-linux/result$i.png" "$w"); then
    fail "result$i.png differs from the Linux build's in $diff pixels"
  fi
done
grep -q '^INFO: start->春天的城市，花开满街。$' "$scratch/a-win/.run/stderr" ||
  fail "no log line 'INFO: start->' with the first caption"
grep -q '^INFO: Saved texture as PNG to "result3.png"' "$scratch/a-win/.run/stderr" ||
  fail "no log line for result3.png"
end_case

begin "b. a missing photograph: SDL's error on standard output, status 174"
cp -r "$inputs" "$scratch/b"
rm "$scratch/b/city_photo2.jpeg"
run_in "$scratch/b" wine "$exe"
[ "$(status_of "$scratch/b")" = 174 ] || fail "status $(status_of "$scratch/b"), not 174"
grep -q '^Couldn.t open' "$scratch/b/.run/stdout" ||
  fail "standard output is '$(head -c 200 "$scratch/b/.run/stdout")'"
ls "$scratch/b"/result*.png >/dev/null 2>&1 && fail "a poster was written"
end_case

begin "c. size.txt asking for 1005 items: status 2 and the reason in the log"
cp -r "$inputs" "$scratch/c"
printf '1005 48' >"$scratch/c/size.txt"
run_in "$scratch/c" wine "$exe"
[ "$(status_of "$scratch/c")" = 2 ] || fail "status $(status_of "$scratch/c"), not 2"
grep -q '^INFO: Error:size.txt asks for 1005 items, but one run holds at most 1004$' \
  "$scratch/c/.run/stderr" || fail "log: $(head -3 "$scratch/c/.run/stderr")"
end_case

begin "d. Unicode command-line arguments change nothing"
cp -r "$inputs" "$scratch/d"
run_in "$scratch/d" wine "$exe" "海报 ünïcødé" "--𝄞" "-x"
[ "$(status_of "$scratch/d")" = 0 ] || fail "status $(status_of "$scratch/d"), not 0"
for i in 1 2 3; do
  diff=$(same_pixels "$scratch/a-win/result$i.png" "$scratch/d/result$i.png") ||
    fail "result$i.png differs from the run without arguments ($diff)"
done
end_case

begin "e. a poster that cannot be written leaves no temporary file; the others are written"
cp -r "$inputs" "$scratch/e"
mkdir "$scratch/e/result1.png"
convert -size 16x16 xc:red "$scratch/e/result2.png"
run_in "$scratch/e" wine "$exe"
[ "$(status_of "$scratch/e")" = 0 ] || fail "status $(status_of "$scratch/e"), not 0"
[ -d "$scratch/e/result1.png" ] || fail "the directory result1.png is gone"
leftovers=$(cd "$scratch/e" && ls -A | grep '^\.result')
[ -z "$leftovers" ] || fail "left behind: $leftovers"
for i in 2 3; do
  diff=$(same_pixels "$scratch/a-win/result$i.png" "$scratch/e/result$i.png") ||
    fail "result$i.png is not the full poster ($diff)"
done
grep -q 'Failed saving image' "$scratch/e/.run/stderr" || fail "no log line for result1.png"
end_case

begin "f. Ctrl-C stops the run early and leaves no partial or truncated file"
many=$scratch/f
make_inputs "$many" 40
mkdir -p "$many/.run"
(cd "$many" && exec wine "$exe" >.run/stdout 2>.run/stderr.raw) &
launcher=$!
pid=""
for _ in $(seq 1 600); do
  grep -q 'Saved texture as PNG to "result1.png"' "$many/.run/stderr.raw" 2>/dev/null && break
  kill -0 "$launcher" 2>/dev/null || break
  sleep 0.1
done
# Wine turns SIGINT to the Windows process into CTRL_C_EVENT for its
# console control handlers; the process is the one whose command line
# names postergen.exe.
pid=$(pgrep -f -n "postergen-$version-win64.postergen\.exe" || true)
if [ -n "$pid" ]; then
  kill -INT "$pid"
else
  fail "no postergen.exe process to interrupt"
fi
wait "$launcher"
status=$?
written=$(cd "$many" && ls result*.png 2>/dev/null | wc -l)
[ "$status" != 0 ] || fail "status 0 after Ctrl-C"
((written < 40)) || fail "all 40 posters were written"
leftovers=$(cd "$many" && ls -A | grep '^\.result')
[ -z "$leftovers" ] || fail "left behind: $leftovers"
for f in "$many"/result*.png; do
  [ -f "$f" ] || continue
  pngcheck -q "$f" >/dev/null || fail "$(basename "$f") is not a whole PNG"
done
echo "    status $status, $written of 40 posters written"
end_case

echo "$passed passed, $failed failed"
((failed == 0))
