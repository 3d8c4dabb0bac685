#!/usr/bin/env bash
# Cross-builds, into the library prefix that build-prefix.sh made (given as
# the argument), the libraries postergen.exe has needed since: each from
# Debian's source package at the version the Linux build uses, under a key
# of its own, so that adding a library here builds that library alone and
# leaves the cached prefix as it is.
#
#   lcms2 (Little CMS; no JPEG or TIFF for its utilities, which are not built)
#   libdeflate (the DLL alone, with its zlib and gzip wrappers, as Debian's;
#   not its static library or its gzip program)
#
# A library counts as built once $prefix/.addons/<source> holds its key,
# which hashes its version, this script, the toolchain file, the compiler's
# version and the prefix's own key. Its DLL, licence and source version are
# recorded beside the prefix's, for the zip. On 2 cores, measured: lcms2
# 30-100 s (96 s in the last run), libdeflate 5 s.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
triplet=x86_64-w64-mingw32
cache=${POSTERGEN_WIN_CACHE:-/var/cache/postergen-win64}
toolchain=$root/cmake/mingw-w64-x86_64.cmake
prefix=${1:?usage: build-addons.sh PREFIX}
jobs=$(nproc)

log() { echo "build-addons: $*" >&2; }
die() {
  log "error: $*"
  exit 1
}

# source package, binary package whose version the Linux build uses, DLL
addons=(
  "lcms2 liblcms2-2 liblcms2-2"
  "libdeflate libdeflate0 libdeflate"
)

[ -f "$prefix/.postergen-prefix" ] || die "$prefix is not a built prefix"

wanted_version() {
  local v
  v=$(dpkg-query -W -f='${db:Status-Abbrev}|${source:Version}' "$1" 2>/dev/null || true)
  if [[ $v == ii* ]]; then echo "${v#*|}"; else apt-cache policy "$1" | awk '/Candidate:/ {print $2}'; fi
}

export CC=$triplet-gcc-posix CXX=$triplet-g++-posix
export AR=$triplet-ar RANLIB=$triplet-ranlib STRIP=$triplet-strip NM=$triplet-nm
export CFLAGS="-O2" CPPFLAGS="-I$prefix/include" LDFLAGS="-L$prefix/lib"
export PKG_CONFIG=pkg-config PKG_CONFIG_LIBDIR=$prefix/lib/pkgconfig
unset PKG_CONFIG_PATH PKG_CONFIG_SYSROOT_DIR

build_lcms2() {
  ./configure --host=$triplet --build="$(dpkg-architecture -qDEB_BUILD_GNU_TYPE)" \
    --prefix="$prefix" --libdir="$prefix/lib" --disable-static --enable-shared \
    --without-jpeg --without-tiff --without-zlib
  make -j"$jobs" && make install
}
build_libdeflate() {
  # Its Makefile knows MinGW but installs the DLL into lib/, leaves the
  # import library out and adds a static library and programs: make and
  # install the DLL alone. No CPPFLAGS: an earlier build's libdeflate.h in the
  # prefix would come before the source's own.
  local version
  version=$(sed -n 's/^#define LIBDEFLATE_VERSION_STRING[[:space:]]*"\(.*\)"/\1/p' libdeflate.h)
  [ -n "$version" ] &&
    make -j"$jobs" CC="$CC" AR="$AR" CPPFLAGS= LDFLAGS= libdeflate.dll &&
    install -m 755 libdeflate.dll "$prefix/bin/" &&
    install -m 644 libdeflate.lib "$prefix/lib/libdeflate.dll.a" &&
    install -m 644 libdeflate.h "$prefix/include/" &&
    sed -e "s|@PREFIX@|$prefix|; s|@LIBDIR@|\${prefix}/lib|; s|@INCDIR@|\${prefix}/include|" \
      -e "s|@VERSION@|$version|" libdeflate.pc.in >"$prefix/lib/pkgconfig/libdeflate.pc"
}

mkdir -p "$prefix/.addons"
for entry in "${addons[@]}"; do
  read -r src bin dll <<<"$entry"
  ver=$(wanted_version "$bin")
  [ -n "$ver" ] || die "no version of $bin is installed or available"
  key=$({
    echo "$src=$ver"
    cat "$0" "$toolchain" | grep -v '^[[:space:]]*#'
    "$triplet-gcc-posix" --version | head -1
    head -1 "$prefix/.postergen-prefix"
  } | sha256sum | cut -c1-16)
  if [ "$(cat "$prefix/.addons/$src" 2>/dev/null)" = "$key" ]; then
    log "$src $ver is built"
    continue
  fi
  t0=$SECONDS
  sources=$cache/src/${src}_${ver#*:}
  if [ ! -f "$sources/.done" ]; then
    rm -rf "$sources" && mkdir -p "$sources"
    (cd "$sources" && apt-get source -qq --download-only "$src=$ver" >/dev/null 2>&1) ||
      die "cannot fetch the source of $src $ver"
    touch "$sources/.done"
  fi
  work=$cache/work-addon-$src
  rm -rf "$work" && mkdir -p "$work"
  dpkg-source -x "$sources"/*.dsc "$work/$src" >"$work/log" 2>&1 || die "cannot unpack $src"
  log "building $src $ver"
  (cd "$work/$src" && "build_$src") >>"$work/log" 2>&1 || {
    tail -40 "$work/log" >&2
    die "building $src failed"
  }
  [ -f "$prefix/bin/$dll.dll" ] || die "the build made no $dll.dll"
  mkdir -p "$prefix/share/licenses/$src"
  cp "$work/$src/debian/copyright" "$work/$src/COPYING" "$prefix/share/licenses/$src/"
  # which package the DLL comes from, and the source version, for the zip
  for list in postergen-win64-dlls.txt postergen-win64-sources.txt; do
    grep -v -e "^$dll.dll " -e "^$src " "$prefix/share/$list" >"$work/list" || true
    cat "$work/list" >"$prefix/share/$list"
  done
  echo "$dll.dll $src" >>"$prefix/share/postergen-win64-dlls.txt"
  echo "$src $ver" >>"$prefix/share/postergen-win64-sources.txt"
  rm -rf "$work"
  echo "$key" >"$prefix/.addons/$src"
  log "$src took $((SECONDS - t0)) s"
done
