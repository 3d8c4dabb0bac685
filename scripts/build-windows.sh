#!/usr/bin/env bash
# Cross-builds postergen.exe and postergen-batch.exe for 64-bit Windows with
# Debian's mingw-w64 (posix threads) and makes dist/postergen-<version>-win64.zip:
# one folder with both programs, the DLLs they import (found by walking the imports of
# every file shipped, Windows' own DLLs left out), README.md, LICENSE and
# licenses/ with the licence text of every library shipped.
#
# Installs what it needs with apt-get and fails if mingw-w64 or Wine cannot
# be had. The libraries come from scripts/windows/build-prefix.sh, which
# builds them from Debian's source packages into a cached prefix
# (/var/cache/postergen-win64/<key>, or $POSTERGEN_WIN_PREFIX), and
# scripts/windows/build-addons.sh adds those needed since (Little CMS,
# libdeflate, and libde265, dav1d and libheif for HEIC and AVIF).
#
# Time on 2 cores, measured while other builds shared the machine (load
# about 6): from nothing about 8 minutes (installing mingw-w64, Wine and the
# build tools under a minute, 27-44 s in a fresh root; the library prefix
# 308 s and the libraries added to it 79 s, two libraries at a time; then
# postergen.exe and the zip a minute); with the prefix cached, under a
# minute (48 s). Building one library at a time, with harfbuzz's subsetter
# and the libraries' programs, the prefix took 599 s and the added libraries
# 129 s on the same machine. .ci/run has it done during the Linux tests.
#
# Build directory: build-win64/ (or $WIN_BUILD_DIR).
#
# It installs its own packages, not the Linux build's (scripts/test-windows.sh
# and scripts/test.sh install those). With --packages it only prints them;
# with --install it only installs them, for .ci/run, which then builds this
# while it installs the rest.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
triplet=x86_64-w64-mingw32
build=${WIN_BUILD_DIR:-$root/build-win64}
start=$SECONDS

die() {
  echo "build-windows: error: $*" >&2
  exit 1
}

packages=(
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  mingw-w64-tools wine wine64 zip dpkg-dev cmake ninja-build meson pkg-config make
  autoconf automake libtool autopoint gettext nasm
)
case ${1:-} in
  --packages)
    echo "${packages[*]}"
    exit 0
    ;;
  --install | "") ;;
  *) die "unknown option: $1" ;;
esac
# The packages, and the deb-src entries and their indices that the library
# builds fetch sources with: one apt-get update for both, and none later
# while other installs may be running beside the build.
"$root/scripts/windows/deb-src.sh"
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
# (grep reads it all: with -q, apt-cache dies of SIGPIPE and, under
# pipefail, the indices would seem missing)
if ((${#missing[@]})) || ! apt-cache showsrc zlib 2>/dev/null | grep '^Package: zlib$' >/dev/null; then
  $sudo apt-get update -qq || die "apt-get update failed"
fi
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" ||
    die "cannot install ${missing[*]}: the Windows build needs mingw-w64 and Wine from Debian's archive"
fi
[ "${1:-}" = --install ] && exit 0
for tool in "$triplet-gcc-posix" "$triplet-g++-posix" "$triplet-objdump" "$triplet-strip" wine zip; do
  command -v "$tool" >/dev/null || die "$tool is missing after the install"
done

prefix=$("$root/scripts/windows/build-prefix.sh" | tail -1)
[ -f "$prefix/.postergen-prefix" ] || die "the library prefix was not built"
"$root/scripts/windows/build-addons.sh" "$prefix" || die "the libraries added to the prefix were not built"

echo "== Cross-building postergen.exe and postergen-batch.exe against $prefix"
mkdir -p "$build"
cmake -S "$root" -B "$build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DPOSTERGEN_WIN_PREFIX="$prefix" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPOSTERGEN_TESTS=OFF >"$build/configure.log" 2>&1 || {
  cat "$build/configure.log" >&2
  die "configuring the cross build failed"
}
cmake --build "$build" --target postergen postergen-batch -j"$(nproc)"

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || die "no project version in $build/CMakeCache.txt"
name=postergen-$version-win64
stage=$root/dist/$name
rm -rf "$stage" "$root/dist/$name.zip"
mkdir -p "$stage/licenses"

# Where imported DLLs are looked for: the prefix, then the toolchain's
# runtime (libstdc++, libgcc, libwinpthread). A DLL found in neither but
# among Wine's builtin Windows DLLs is Windows' own and is not shipped.
gcc_dir=$(dirname "$("$triplet-gcc-posix" -print-libgcc-file-name)")
search=("$prefix/bin" "$gcc_dir" "/usr/$triplet/lib" "/usr/$triplet/bin")
wine_dlls=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows

find_dll() {
  local d hit
  for d in "${search[@]}"; do
    hit=$(find "$d" -maxdepth 1 -iname "$1" -print -quit 2>/dev/null)
    [ -n "$hit" ] && echo "$hit" && return 0
  done
  return 1
}

declare -A shipped=()
queue=("$build/postergen.exe" "$build/postergen-batch.exe")
while ((${#queue[@]})); do
  file=${queue[0]}
  queue=("${queue[@]:1}")
  while read -r dll; do
    key=${dll,,}
    [ -n "${shipped[$key]:-}" ] && continue
    if path=$(find_dll "$dll"); then
      shipped[$key]=$path
      queue+=("$path")
    elif [ -n "$(find "$wine_dlls" -maxdepth 1 -iname "$dll" -print -quit)" ] ||
      [[ $key == api-ms-win-* ]]; then
      shipped[$key]=system
    else
      die "$(basename "$file") imports $dll, which is neither built nor a Windows DLL"
    fi
  done < <("$triplet-objdump" -p "$file" | sed -n 's/^[[:space:]]*DLL Name: //p')
done

for exe in postergen.exe postergen-batch.exe; do
  "$triplet-strip" -o "$stage/$exe" "$build/$exe"
done
owners=$prefix/share/postergen-win64-dlls.txt
for key in "${!shipped[@]}"; do
  path=${shipped[$key]}
  [ "$path" = system ] && continue
  base=$(basename "$path")
  "$triplet-strip" --strip-unneeded -o "$stage/$base" "$path"
  src=$(awk -v f="$base" '$1 == f {print $2}' "$owners")
  if [ -n "$src" ]; then
    cp -r "$prefix/share/licenses/$src" "$stage/licenses/"
  else
    # a toolchain runtime DLL: the licence of the Debian package holding it
    pkg=$(dpkg -S "$(readlink -f "$path")" | head -1 | cut -d: -f1)
    [ -n "$pkg" ] || die "no package owns $path"
    mkdir -p "$stage/licenses/$pkg"
    cp -L "/usr/share/doc/$pkg/copyright" "$stage/licenses/$pkg/copyright"
  fi
  echo "  $base"
done | sort
cp "$root/README.md" "$root/LICENSE" "$stage/"
cp "$prefix/share/postergen-win64-sources.txt" "$stage/licenses/SOURCES.txt"

(cd "$root/dist" && zip -q -r -X "$name.zip" "$name")
echo "== Made dist/$name.zip ($(du -h "$root/dist/$name.zip" | cut -f1)) in $((SECONDS - start)) s"
