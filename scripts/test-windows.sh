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
#      leaves no partial file and no truncated PNG;
# and its postergen-batch.exe (which runs the postergen.exe beside it):
#   g. 7 items at -j 2 -n 3: status 0, "7 of 7 posters written", every
#      poster pixel-identical to the Linux postergen's over the same items;
#   h. a PNG photograph whose image data is damaged: its item named with
#      status 174, the other 6 made, status 1, the failed runs' logs kept in
#      .postergen-batch\logs and nothing else left there;
#   i. a directory named in Chinese, given on the command line: status 0;
#   j. --resume after one poster is removed and another is made older than
#      its caption: only those two are made again;
#   k. --plan DIR, --run-planned RUN for each run and --collect DIR, with
#      Windows paths: the posters are home and DIR is gone;
#   l. Ctrl-C in the middle: Ctrl-C's status (STATUS_CONTROL_C_EXIT, 58 to a
#      POSIX parent), only whole posters at home, no .postergen-batch and no
#      partial file left, and --resume then makes the rest.
# and postergen.exe once more:
#   m. limited to one CPU by taskset (Wine makes it the process's affinity
#      mask): fewer threads than unrestricted (no poster writers and no
#      decoding ahead), and the same posters and log as case a;
#   n. a HEIC photograph (10-bit, made by heif-enc), o. an AVIF photograph
#      (made by heif-enc with libaom) and p. a JPEG panorama of 20000 x 3000
#      pixels: status 0 and the poster pixel-identical to the Linux build's;
# and the page postergen-batch.exe wrote in case h:
#   q. contact-sheet.html: a card for each item, the failed item's reason,
#      the summary's counts, the Windows directory, and each thumbnail a
#      270 x 480 JPEG of its poster's 8 x 8 block means.
# A batch still running after 60 s has hung: it is stopped and failed, and
# the batch cases after it fail as not run.
# Prints "N passed, N failed" and exits non-zero on any failure.
#
# Needs scripts/build-windows.sh to have run. The Linux build to compare
# with is $LINUX_POSTERGEN, else build/postergen, else one built into
# build-win-linux/.
#
# With --packages it only prints the packages it installs; with --prepare
# it only makes the Wine prefix (5-15 s, mostly waiting on Wine), installing
# nothing, so that .ci/run can have it made while the Linux tests run.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${WIN_BUILD_DIR:-$root/build-win64}
packages=(wine wine64 imagemagick libimage-exiftool-perl pngcheck fonts-wqy-microhei unzip procps
  libheif-examples)
if [ "${1:-}" = --packages ]; then
  echo "${packages[*]}"
  exit 0
fi

if [ "${1:-}" != --prepare ]; then
  "$root/scripts/install-deps.sh" "${packages[@]}" >/dev/null || exit 1
fi

export WINEPREFIX=$build/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export SDL_VIDEODRIVER=dummy
unset DISPLAY WAYLAND_DISPLAY
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Making the Wine prefix $WINEPREFIX"
  mkdir -p "$build"
  wine wineboot -i >/dev/null 2>&1
fi
if [ "${1:-}" = --prepare ]; then
  wineserver -w # until the prefix's programs have ended
  [ -f "$WINEPREFIX/system.reg" ] || { echo "the Wine prefix $WINEPREFIX was not made" >&2; exit 1; }
  exit 0
fi

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
batch=$scratch/postergen-$version-win64/postergen-batch.exe

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

# interrupt_once LAUNCHER PATTERN TEST...: once TEST succeeds (or LAUNCHER
# has ended), sends SIGINT to the newest process whose command line matches
# PATTERN, which Wine turns into CTRL_C_EVENT for its console control
# handlers; returns LAUNCHER's status.
interrupt_once() {
  local launcher=$1 pattern=$2 pid
  shift 2
  for _ in $(seq 1 600); do
    "$@" 2>/dev/null && break
    kill -0 "$launcher" 2>/dev/null || break
    sleep 0.1
  done
  pid=$(pgrep -f -n "$pattern" || true)
  if [ -n "$pid" ]; then
    kill -INT "$pid"
  else
    fail "no process matching $pattern to interrupt"
  fi
  wait "$launcher"
}
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
interrupt_once $! "postergen-$version-win64.postergen\.exe" \
  grep -q 'Saved texture as PNG to "result1.png"' "$many/.run/stderr.raw"
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

echo "== postergen-batch.exe under Wine: $batch"
# same_poster A B: byte for byte, or else pixel for pixel
same_poster() { cmp -s "$1" "$2" || same_pixels "$1" "$2" >/dev/null; }
# leftovers DIR: what a batch must not leave at home
leftovers() { (cd "$1" && ls -A | grep -E '^\.postergen-batch$|^\.result|\.partial$'); }
summary_of() { grep -a '^postergen-batch: [0-9]* of [0-9]* posters written' "$1/.run/stderr"; }
# A batch of a few small items takes seconds; one that runs for $batch_limit
# has hung: it is stopped and failed, and the cases after it are not run.
batch_limit=60
hung=""
run_batch() {
  local dir=$1
  shift
  run_in "$dir" timeout "$batch_limit" wine "$batch" "$@"
  if [ "$(status_of "$dir")" = 124 ]; then
    fail "postergen-batch.exe $* did not end within $batch_limit s; its postergen.exe runs had ended," \
      "and .postergen-batch held: $(ls "$dir/.postergen-batch" 2>/dev/null | tr '\n' ' ')"
    hung=$(basename "$dir")
  fi
}
# begin_batch TITLE: begin the case, or fail it at once after a hung batch
begin_batch() {
  begin "$1"
  [ -z "$hung" ] && return 0
  fail "not run: postergen-batch.exe hung in case $hung"
  end_case
  return 1
}
inputs7=$scratch/inputs7
make_inputs "$inputs7" 7

if begin_batch "g. 7 items at -j 2 -n 3 match the Linux build's postergen over the same items"; then
  cp -r "$inputs7" "$scratch/g-linux"
  cp -r "$inputs7" "$scratch/g"
  run_in "$scratch/g-linux" "$linux"
  run_batch "$scratch/g" -j 2 -n 3
  [ "$(status_of "$scratch/g-linux")" = 0 ] || fail "the Linux build ended with $(status_of "$scratch/g-linux")"
  [ "$(status_of "$scratch/g")" = 0 ] || [ -n "$hung" ] ||
    fail "status $(status_of "$scratch/g"), not 0: $(grep -av '^ALSA' "$scratch/g/.run/stderr" | tail -1)"
  [ -n "$hung" ] || summary_of "$scratch/g" | grep -q ': 7 of 7 posters written' || fail "summary: '$(summary_of "$scratch/g")'"
  for i in $(seq 1 7); do
    if [ -n "$hung" ]; then
      break
    elif [ ! -f "$scratch/g/result$i.png" ]; then
      fail "result$i.png was not written"
    elif ! diff=$(same_pixels "$scratch/g-linux/result$i.png" "$scratch/g/result$i.png"); then
      fail "result$i.png differs from the Linux build's in $diff pixels"
    fi
  done
  left=$(leftovers "$scratch/g")
  [ -z "$left" ] || fail "left behind: $left"
  end_case
fi

if begin_batch "h. a damaged photograph: its item named with status 174, the others made, status 1"; then
  cp -r "$inputs7" "$scratch/h"
  # item 4 is a PNG: its header reads, but the zlib stream after "IDAT" then
  # names an unknown compression method, so decoding fails
  at=$(grep -aboF IDAT "$scratch/h/city_photo4.jpeg" | head -1 | cut -d: -f1)
  printf '\x87' | dd of="$scratch/h/city_photo4.jpeg" bs=1 seek=$((at + 4)) conv=notrunc status=none
  run_batch "$scratch/h" -j 2 -n 3
  [ "$(status_of "$scratch/h")" = 1 ] || fail "status $(status_of "$scratch/h"), not 1"
  summary_of "$scratch/h" | grep -q ': 6 of 7 posters written' || fail "summary: '$(summary_of "$scratch/h")'"
  grep -q '^item 4: .* (status 174: ' "$scratch/h/.run/stderr" ||
    fail "item 4 is not named with status 174: '$(grep -a '^item ' "$scratch/h/.run/stderr")'"
  grep -qF '.postergen-batch\logs' "$scratch/h/.run/stderr" || fail "the summary does not say where the logs are"
  for i in 1 2 3 5 6 7; do
    same_poster "$scratch/g/result$i.png" "$scratch/h/result$i.png" || fail "result$i.png is not item $i's poster"
  done
  [ -e "$scratch/h/result4.png" ] && fail "result4.png was written"
  ls "$scratch/h/.postergen-batch/logs"/* >/dev/null 2>&1 || fail "no logs in .postergen-batch\\logs"
  kept=$(ls -A "$scratch/h/.postergen-batch" 2>/dev/null | grep -vx logs | tr '\n' ' ')
  [ -z "$kept" ] || fail ".postergen-batch holds more than logs: $kept"
  end_case
fi

if begin_batch "i. a directory named in Chinese, given on the command line"; then
  mkdir -p "$scratch/i"
  cp -r "$inputs" "$scratch/i/海报"
  # the command line reaches Wine in UTF-8 whatever the caller's locale
  LC_ALL=C.UTF-8 run_batch "$scratch/i" -j 2 -n 2 "$(winepath -w "$scratch/i/海报")"
  [ "$(status_of "$scratch/i")" = 0 ] || fail "status $(status_of "$scratch/i"), not 0: $(grep -av '^ALSA' "$scratch/i/.run/stderr" | tail -1)"
  for i in 1 2 3; do
    same_poster "$scratch/a-win/result$i.png" "$scratch/i/海报/result$i.png" || fail "result$i.png is missing or wrong"
  done
  end_case
fi

if begin_batch "j. --resume makes only a removed poster and one older than its caption"; then
  cp -a "$scratch/g" "$scratch/j"
  rm -rf "$scratch/j/.run" "$scratch/j/result3.png"
  touch -d '1 hour ago' "$scratch/j/result5.png"
  before=$(cd "$scratch/j" && stat -c '%n %y' result[12467].png)
  run_batch "$scratch/j" -j 2 -n 3 --resume
  [ "$(status_of "$scratch/j")" = 0 ] || fail "status $(status_of "$scratch/j"), not 0"
  summary_of "$scratch/j" | grep -q ': 2 of 2 posters written (5 up to date, left alone)' ||
    fail "summary: '$(summary_of "$scratch/j")'"
  [ "$(cd "$scratch/j" && stat -c '%n %y' result[12467].png)" = "$before" ] || fail "an up-to-date poster was touched"
  for i in 3 5; do
    [ "$scratch/j/result$i.png" -nt "$scratch/j/d$i.txt" ] || fail "result$i.png was not made again"
    same_poster "$scratch/g/result$i.png" "$scratch/j/result$i.png" || fail "result$i.png is not item $i's poster"
  done
  end_case
fi

if begin_batch "k. --plan, --run-planned for each run and --collect, with Windows paths"; then
  mkdir -p "$scratch/k"
  cp -r "$inputs7" "$scratch/k/home"
  plan_w=$(winepath -w "$scratch/k/plan")
  run_batch "$scratch/k" --plan "$plan_w" -j 2 -n 3 "$(winepath -w "$scratch/k/home")"
  [ "$(status_of "$scratch/k")" = 0 ] || fail "--plan: status $(status_of "$scratch/k"): $(grep -av '^ALSA' "$scratch/k/.run/stderr" | tail -1)"
  tr -d '\r' <"$scratch/k/.run/stdout" >"$scratch/k/runs.txt"
  [ "$(wc -l <"$scratch/k/runs.txt")" = 3 ] || fail "--plan printed '$(cat "$scratch/k/runs.txt")', not 3 runs"
  while IFS= read -r run && [ -z "$hung" ]; do
    [[ $run == "$plan_w\\run-"* ]] || fail "'$run' is not a run under $plan_w"
    run_batch "$scratch/k" --run-planned "$run"
    [ "$(status_of "$scratch/k")" = 0 ] || fail "--run-planned $run: status $(status_of "$scratch/k")"
  done <"$scratch/k/runs.txt"
  run_batch "$scratch/k" --collect "$plan_w"
  [ "$(status_of "$scratch/k")" = 0 ] || fail "--collect: status $(status_of "$scratch/k"): $(grep -av '^ALSA' "$scratch/k/.run/stderr" | tail -1)"
  summary_of "$scratch/k" | grep -q ': 7 of 7 posters written' || fail "--collect summary: '$(summary_of "$scratch/k")'"
  for i in $(seq 1 7); do
    same_poster "$scratch/g/result$i.png" "$scratch/k/home/result$i.png" || fail "result$i.png is missing or wrong at home"
  done
  [ -e "$scratch/k/plan" ] && fail "the plan directory is still there"
  left=$(leftovers "$scratch/k/home")
  [ -z "$left" ] || fail "left at home: $left"
  end_case
fi

if begin_batch "l. Ctrl-C in the middle of a batch: Ctrl-C's status, only whole posters, then --resume"; then
  stop=$scratch/l
  make_inputs "$stop" 12
  mkdir -p "$stop/.run"
  (cd "$stop" && exec timeout "$batch_limit" wine "$batch" -j 2 -n 3 >.run/stdout 2>.run/stderr.raw) &
  # the Windows process of postergen-batch.exe, the one started by its Unix path
  interrupt_once $! "^$batch" sh -c "ls '$stop'/result*.png >/dev/null 2>&1"
  status=$?
  tr -d '\r' <"$stop/.run/stderr.raw" >"$stop/.run/stderr"
  written=$(cd "$stop" && ls result*.png 2>/dev/null | wc -l)
  # STATUS_CONTROL_C_EXIT, 0xC000013A, whose low 8 bits a POSIX parent sees
  [ "$status" = 124 ] && fail "postergen-batch.exe did not end within $batch_limit s" && hung=l
  [ "$status" = 58 ] || fail "status $status, not 58 (STATUS_CONTROL_C_EXIT)"
  ((written < 12)) || fail "all 12 posters were written"
  for f in "$stop"/result*.png; do
    [ -f "$f" ] || continue
    pngcheck -q "$f" >/dev/null || fail "$(basename "$f") is not a whole PNG"
  done
  left=$(leftovers "$stop")
  [ -z "$left" ] || fail "left behind: $left"
  echo "    status $status, $written of 12 posters written"
  run_batch "$stop" -j 2 -n 3 --resume
  [ "$(status_of "$stop")" = 0 ] || fail "--resume: status $(status_of "$stop"), not 0"
  summary_of "$stop" | grep -q ": $((12 - written)) of $((12 - written)) posters written ($written up to date" ||
    fail "--resume summary: '$(summary_of "$stop")'"
  [ "$(cd "$stop" && ls result*.png 2>/dev/null | wc -l)" = 12 ] || fail "not all 12 posters are there after --resume"
  end_case
fi

begin "m. on one CPU: fewer threads, and the same posters and log as unrestricted and on Linux"
# Wine's +pid,+thread trace names each thread as PID:TID on its lines
threads_of() { grep -o '^[0-9a-f]*:[0-9a-f]*:' "$1/.run/stderr" | sort -u | wc -l; }
log_of() { grep -av -e '^ALSA' -e '^[0-9a-f]*:[0-9a-f]*:' "$1/.run/stderr"; }
cpu=$(taskset -cp $$ | sed 's/.*: //; s/[-,].*//') # the first CPU this script may use
cp -r "$inputs" "$scratch/m-all"
cp -r "$inputs" "$scratch/m-one"
WINEDEBUG=-all,+pid,+thread run_in "$scratch/m-all" wine "$exe"
WINEDEBUG=-all,+pid,+thread run_in "$scratch/m-one" taskset -c "$cpu" wine "$exe"
[ "$(status_of "$scratch/m-one")" = 0 ] || fail "status $(status_of "$scratch/m-one"), not 0"
(($(nproc) < 2)) || (($(threads_of "$scratch/m-one") < $(threads_of "$scratch/m-all"))) ||
  fail "$(threads_of "$scratch/m-one") threads on one CPU, $(threads_of "$scratch/m-all") on $(nproc)"
for i in 1 2 3; do
  cmp -s "$scratch/a-win/result$i.png" "$scratch/m-one/result$i.png" ||
    fail "result$i.png differs from the unrestricted run's"
  diff=$(same_pixels "$scratch/a-linux/result$i.png" "$scratch/m-one/result$i.png") ||
    fail "result$i.png differs from the Linux build's ($diff)"
done
[ "$(log_of "$scratch/m-one")" = "$(log_of "$scratch/a-win")" ] || fail "the log differs from the unrestricted run's"
end_case

# photo_case LETTER TITLE FILE: one item whose photograph is FILE, run by
# the Linux build and under Wine; status 0 and the same poster.
photo_case() {
  local linux_dir=$scratch/$1-linux win_dir=$scratch/$1-win d
  begin "$1. $2"
  if [ ! -s "$3" ]; then
    fail "the photograph $(basename "$3") could not be made"
    end_case
    return
  fi
  for d in "$linux_dir" "$win_dir"; do
    mkdir -p "$d"
    cp "$inputs/font.ttf" "$inputs/bg.png" "$inputs/d1.txt" "$d/"
    printf '1 48\r\n' >"$d/size.txt"
    cp "$3" "$d/city_photo1.jpeg"
  done
  run_in "$linux_dir" "$linux"
  run_in "$win_dir" wine "$exe"
  [ "$(status_of "$linux_dir")" = 0 ] || fail "the Linux build ended with $(status_of "$linux_dir"): $(head -c 200 "$linux_dir/.run/stdout")"
  [ "$(status_of "$win_dir")" = 0 ] || fail "status $(status_of "$win_dir"), not 0: $(head -c 200 "$win_dir/.run/stdout")"
  if [ ! -f "$win_dir/result1.png" ]; then
    fail "result1.png was not written"
  elif ! diff=$(same_pixels "$linux_dir/result1.png" "$win_dir/result1.png"); then
    fail "result1.png differs from the Linux build's in $diff pixels"
  fi
  end_case
}
photos=$scratch/photos
mkdir -p "$photos"
convert -seed 11 -size 1200x900 plasma:orange-teal -depth 16 "$photos/deep.png"
heif-enc -q 85 -b 10 -o "$photos/photo.heic" "$photos/deep.png" >/dev/null
# 8-bit: Debian 12's libaom aborts when heif-enc hands it 10-bit samples
convert -seed 12 -size 1200x900 plasma:tomato-navy -depth 8 "PNG24:$photos/photo.png"
heif-enc -A -q 85 -o "$photos/photo.avif" "$photos/photo.png" >/dev/null
# ImageMagick's policy stops at 16384 pixels a side: a policy of its own
# lets it make the panorama
cat >"$photos/policy.xml" <<'EOF'
<policymap>
  <policy domain="resource" name="width" value="32KP"/>
  <policy domain="resource" name="area" value="256MP"/>
  <policy domain="resource" name="memory" value="2GiB"/>
  <policy domain="resource" name="map" value="4GiB"/>
</policymap>
EOF
MAGICK_CONFIGURE_PATH=$photos convert -seed 13 -size 1000x150 plasma:green-blue \
  -resize '20000x3000!' -quality 90 "$photos/panorama.jpeg"
photo_case n "a 10-bit HEIC photograph matches the Linux build" "$photos/photo.heic"
photo_case o "an AVIF photograph matches the Linux build" "$photos/photo.avif"
photo_case p "a JPEG panorama of 20000 x 3000 pixels matches the Linux build" "$photos/panorama.jpeg"

if begin_batch "q. the contact sheet of case h: every card, the failed item's reason, true thumbnails"; then
  page=$scratch/h/contact-sheet.html
  [ -f "$page" ] || fail "no contact-sheet.html"
  # card ITEM: the lines of an item's card
  card() { sed -n "/id=\"item-$1\"/,/<\/article>/p" "$page" 2>/dev/null; }
  for i in 1 2 3 5 6 7; do
    card "$i" | grep -q 'data-status="made"' || fail "item $i has no card of a made poster"
    thumbnail=$(card "$i" | sed -n 's/.*<img src="\([^"]*\)".*/\1/p')
    if [ -z "$thumbnail" ] || [ ! -f "$scratch/h/$thumbnail" ]; then
      fail "item $i: no thumbnail (src '$thumbnail')"
      continue
    fi
    kind=$(identify -format '%m %wx%h' "$scratch/h/$thumbnail" 2>&1)
    [ "$kind" = "JPEG 270x480" ] || fail "item $i: $thumbnail is '$kind', not a 270 x 480 JPEG"
    # each pixel the mean of an 8 x 8 block of the poster, within JPEG's error
    error=$(convert "$scratch/h/result$i.png" -alpha off -scale 12.5% png:- |
      compare -metric MAE "$scratch/h/$thumbnail" - null: 2>&1 | sed -n 's/.*(\(.*\)).*/\1/p')
    awk -v e="$error" 'BEGIN { exit !(e != "" && e < 0.01) }' ||
      fail "item $i: the thumbnail is not its poster's block means (mean error '$error')"
  done
  card 4 | grep -q 'data-status="failed"' || fail "item 4 has no card of a failed item"
  card 4 | grep -q 'class="reason">.*(status 174: ' || fail "item 4's card does not give the reason"
  card 4 | grep -q '<img' && fail "item 4's card shows a thumbnail"
  grep -q 'id="summary" data-items="7" data-made="6" data-failed="1"' "$page" ||
    fail "the summary does not count 7 items, 6 made, 1 failed"
  grep -q 'from <code>[A-Z]:\\' "$page" || fail "the page does not name the Windows directory"
  end_case
fi

echo "$passed passed, $failed failed"
((failed == 0))
