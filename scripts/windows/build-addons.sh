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
#   libde265 (the HEVC decoding library alone: not its programs, its SDL
#   viewer or the encoder upstream links into it)
#   dav1d (the AV1 decoding library alone, 8- and 16-bit, without assembly)
#   libheif (HEIC through libde265 and AVIF through dav1d built in; no
#   encoders, plugins, examples or gdk-pixbuf loader)
#
# A library counts as built once $prefix/.addons/<source> holds its key,
# which hashes its version, its own build function, the rest of this script
# (not the table, not the other libraries' build functions), the toolchain
# file, the compiler's version, the prefix's own key and the keys of the
# libraries it links: adding a library or changing one's build function
# builds that one again and those that link it, not the others. Its DLL,
# licence and source version are recorded beside the prefix's, for the zip.
# When the archive's pool no longer has the installed revision (a security
# update can be gone from it), the newest other revision of the same
# upstream release is used, and the log says so; later runs try the wanted
# revision again and build it once it can be fetched. Two are built at once
# (libheif after libde265 and dav1d). On 2 cores, measured: lcms2 30-100 s,
# libdeflate 5 s, libde265 43-93 s (80 s of CPU), dav1d 24-64 s (54 s of
# CPU), libheif 13-49 s (46 s of CPU), the higher ones while other builds
# shared the cores; all five 79 s two at a time while other builds shared
# the machine (load about 6), 129 s one at a time on the same machine.
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

# source package, binary package whose version the Linux build uses, DLL,
# and the libraries above it that it links (comma-separated), if any
addons=(
  "lcms2 liblcms2-2 liblcms2-2"
  "libdeflate libdeflate0 libdeflate"
  "libde265 libde265-0 libde265"
  "dav1d libdav1d6 libdav1d"
  "libheif libheif1 libheif libde265,dav1d"
)

[ -f "$prefix/.postergen-prefix" ] || die "$prefix is not a built prefix"

wanted_version() {
  local v
  v=$(dpkg-query -W -f='${db:Status-Abbrev}|${source:Version}' "$1" 2>/dev/null || true)
  if [[ $v == ii* ]]; then echo "${v#*|}"; else apt-cache policy "$1" | awk '/Candidate:/ {print $2}'; fi
}
upstream_of() {
  local v=${1#*:}
  echo "${v%-*}"
}
# The wanted version, then the archive's other revisions of the same
# upstream release, newest first.
candidate_versions() {
  local src=$1 want=$2 v
  echo "$want"
  apt-cache showsrc "$src" 2>/dev/null | awk '/^Version:/ {print $2}' | sort -u |
    while read -r v; do
      [ "$v" != "$want" ] && [ "$(upstream_of "$v")" = "$(upstream_of "$want")" ] && echo "$v"
    done | sort -r -V
}
# Downloads src=version into $cache/src unless it is there; fails if apt
# cannot fetch that very revision.
fetch_source() {
  local src=$1 ver=$2 dir
  dir=$cache/src/${src}_${ver#*:}
  [ -f "$dir/.done" ] && return 0
  rm -rf "$dir" && mkdir -p "$dir"
  if (cd "$dir" && apt-get source -qq --download-only "$src=$ver" >/dev/null 2>&1) &&
    grep -qx "Version: $ver" "$dir"/*.dsc 2>/dev/null; then
    touch "$dir/.done"
  else
    rm -rf "$dir"
    return 1
  fi
}
# What every library's key hashes: this script without its comments, its
# table and the libraries' build functions.
shared_script=$(grep -v '^[[:space:]]*#' "$0" | awk '
  /^addons=\($/ || /^build_[^ ]*\(\) \{$/ {skip = 1}
  !skip {print}
  skip && /^[)}]$/ {skip = 0}')

export CC=$triplet-gcc-posix CXX=$triplet-g++-posix
export AR=$triplet-ar RANLIB=$triplet-ranlib STRIP=$triplet-strip NM=$triplet-nm
export CFLAGS="-O2" CXXFLAGS="-O2" CPPFLAGS="-I$prefix/include" LDFLAGS="-L$prefix/lib"
export PKG_CONFIG=pkg-config PKG_CONFIG_LIBDIR=$prefix/lib/pkgconfig
unset PKG_CONFIG_PATH PKG_CONFIG_SYSROOT_DIR

cmake_install() {
  cmake -S . -B _win -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DPOSTERGEN_WIN_PREFIX="$prefix" -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DCMAKE_INSTALL_LIBDIR=lib -DCMAKE_BUILD_TYPE=None -DBUILD_SHARED_LIBS=ON "$@" &&
    cmake --build _win -j"$jobs" &&
    cmake --install _win
}
# meson_setup OPTIONS...: configures a meson build in _win for the target
meson_setup() {
  cat >"$work/cross.ini" <<EOF &&
[binaries]
c = '$CC'
cpp = '$CXX'
ar = '$AR'
strip = '$STRIP'
windres = '$triplet-windres'
pkgconfig = 'pkg-config'

[properties]
pkg_config_libdir = '$prefix/lib/pkgconfig'

[host_machine]
system = 'windows'
cpu_family = 'x86_64'
cpu = 'x86_64'
endian = 'little'
EOF
    meson setup _win --cross-file "$work/cross.ini" --prefix "$prefix" --libdir lib \
      --buildtype release --default-library shared --wrap-mode nodownload "$@"
}

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
build_libde265() {
  # The decoding library alone, with its CMake build (its autotools one
  # would need autoreconf after Debian's patches): not dec265 (which the
  # decoder option names), enc265 or the SDL viewer, and without the
  # encoder that upstream links into the library, of which Debian's library
  # exports nothing (only_export_decoder_api.patch): it is half of the
  # compile time and no decoding code calls it.
  sed -i -e '/^add_subdirectory (encoder)$/d' -e 's/ ${ENCODER_OBJECTS}//' -e '/^  en265\.cc$/d' \
    libde265/CMakeLists.txt
  ! grep -q -e encoder -e 'en265\.cc' libde265/CMakeLists.txt &&
    cmake_install -DENABLE_DECODER=OFF -DENABLE_ENCODER=OFF -DENABLE_SDL=OFF
}
build_dav1d() {
  # The library alone, 8- and 16-bit (for AVIF of more than 8 bits); as
  # Debian's, at meson's release type with -O2 after it. Without its
  # assembly: with it the build took 110 s instead of 35 (on 2 busy cores)
  # for 0.6 s of CPU instead of 0.8 per 12-megapixel AVIF through libheif
  # under Wine, and no measurable change in a run's time, as photographs
  # are decoded ahead on worker threads. The output is the same: AV1
  # decoding is exact. No CPPFLAGS: an earlier build's headers in the
  # prefix would come before the source's own.
  CPPFLAGS= LDFLAGS= meson_setup -Denable_tools=false -Denable_tests=false \
    -Denable_examples=false -Denable_docs=false -Denable_asm=false &&
    ninja -C _win -j"$jobs" && ninja -C _win install
}
build_libheif() {
  # Built in: libde265 for HEIC, dav1d for AVIF; as Debian's, deflate for
  # compressed headers. No encoders, other decoders, plugin loading,
  # examples or gdk-pixbuf loader. The security limits (heif_limits.h)
  # stay as they are.
  cmake_install -DWITH_LIBDE265=ON -DWITH_LIBDE265_PLUGIN=OFF -DWITH_DAV1D=ON \
    -DWITH_DAV1D_PLUGIN=OFF -DWITH_X265=OFF -DWITH_AOM_DECODER=OFF -DWITH_AOM_ENCODER=OFF \
    -DWITH_SvtEnc=OFF -DWITH_RAV1E=OFF -DENABLE_PLUGIN_LOADING=OFF -DWITH_EXAMPLES=OFF \
    -DWITH_DEFLATE_HEADER_COMPRESSION=ON || return 1
  local imports
  imports=$("$triplet-objdump" -p _win/libheif/libheif.dll) &&
    grep -q 'DLL Name: libde265.dll' <<<"$imports" && grep -q 'DLL Name: libdav1d.dll' <<<"$imports"
}

mkdir -p "$prefix/.addons"
# addon_key SRC: its key, once the libraries it links are built
addon_key() {
  local src=$1 dep
  {
    echo "$src=${ver_of[$src]}"
    echo "$shared_script"
    declare -f "build_$src"
    grep -v '^[[:space:]]*#' "$toolchain"
    "$triplet-gcc-posix" --version | head -1
    head -1 "$prefix/.postergen-prefix"
    for dep in ${links_of[$src]//,/ }; do head -1 "$prefix/.addons/$dep"; done
  } | sha256sum | cut -c1-16
}
# build_addon SRC: fetches, unpacks and builds it into the prefix and copies
# its licences; the version fetched is left in its work directory's
# "fetched", for the lists and the record, which finish_addon writes.
build_addon() {
  local src=$1 ver=${ver_of[$1]} dll=${dll_of[$1]} fetched="" v sources work
  while read -r v; do
    if fetch_source "$src" "$v"; then
      fetched=$v
      break
    fi
  done < <(candidate_versions "$src" "$ver")
  [ -n "$fetched" ] || die "cannot fetch the source of $src $ver or of another revision of $(upstream_of "$ver")"
  [ "$fetched" = "$ver" ] || log "note: the source of $src $ver cannot be fetched; using $fetched, the same upstream release"
  sources=$cache/src/${src}_${fetched#*:}
  work=$cache/work-addon-$src
  rm -rf "$work" && mkdir -p "$work"
  dpkg-source -x "$sources"/*.dsc "$work/$src" >"$work/log" 2>&1 || die "cannot unpack $src"
  log "building $src $fetched"
  (cd "$work/$src" && "build_$src") >>"$work/log" 2>&1 || {
    tail -40 "$work/log" >&2
    die "building $src failed"
  }
  [ -f "$prefix/bin/$dll.dll" ] || die "the build made no $dll.dll"
  mkdir -p "$prefix/share/licenses/$src"
  cp "$work/$src/debian/copyright" "$work/$src/COPYING" "$prefix/share/licenses/$src/"
  echo "$fetched" >"$work/fetched"
}
# finish_addon SRC: records a built library, one at a time
finish_addon() {
  local src=$1 ver=${ver_of[$1]} dll=${dll_of[$1]} work=$cache/work-addon-$1 fetched list
  fetched=$(cat "$work/fetched")
  # which package the DLL comes from, and the source version, for the zip
  for list in postergen-win64-dlls.txt postergen-win64-sources.txt; do
    grep -v -e "^$dll.dll " -e "^$src " "$prefix/share/$list" >"$work/list" || true
    cat "$work/list" >"$prefix/share/$list"
  done
  echo "$dll.dll $src" >>"$prefix/share/postergen-win64-dlls.txt"
  echo "$src $fetched" >>"$prefix/share/postergen-win64-sources.txt"
  rm -rf "$work"
  { echo "${key_of[$src]}"; [ "$fetched" = "$ver" ] || echo "$fetched"; } >"$prefix/.addons/$src"
  log "$src $fetched took $((SECONDS - started[$src])) s"
}

declare -A ver_of=() dll_of=() links_of=() key_of=() started=() running=() done_set=()
pending=()
for entry in "${addons[@]}"; do
  read -r src bin dll links <<<"$entry"
  ver_of[$src]=$(wanted_version "$bin")
  [ -n "${ver_of[$src]}" ] || die "no version of $bin is installed or available"
  dll_of[$src]=$dll
  links_of[$src]=$links
  pending+=("$src")
done
# Up to $PREFIX_JOBS libraries (default 2) are built at once, each once the
# libraries it links are built: most steps of a build (configure scripts,
# links) use one CPU.
at_once=${PREFIX_JOBS:-2}
# next_finished: waits until one of the running builds has ended and
# prints its process id (wait -n may miss one that has already ended)
next_finished() {
  local pid
  while :; do
    for pid in "${!running[@]}"; do
      if ! kill -0 "$pid" 2>/dev/null; then
        echo "$pid"
        return
      fi
    done
    sleep 1
  done
}
while ((${#pending[@]} + ${#running[@]})); do
  left=() progress=0
  for src in "${pending[@]}"; do
    ready=1
    for dep in ${links_of[$src]//,/ }; do [ -n "${done_set[$dep]:-}" ] || ready=0; done
    if ((!ready || ${#running[@]} >= at_once)); then
      left+=("$src")
      continue
    fi
    key_of[$src]=$(addon_key "$src")
    ver=${ver_of[$src]}
    # the key, then the version built when it was not the wanted one
    if [ "$(head -1 "$prefix/.addons/$src" 2>/dev/null)" = "${key_of[$src]}" ]; then
      built=$(sed -n 2p "$prefix/.addons/$src")
      if [ -z "$built" ]; then
        log "$src $ver is built"
        done_set[$src]=1 progress=1
        continue
      elif ! fetch_source "$src" "$ver"; then
        log "$src $built is built; the source of $ver still cannot be fetched"
        done_set[$src]=1 progress=1
        continue
      fi
      log "the source of $src $ver can be fetched now: it replaces $built"
    fi
    started[$src]=$SECONDS
    build_addon "$src" </dev/null &
    running[$!]=$src
  done
  pending=("${left[@]}")
  if ((${#running[@]} == 0)); then
    ((progress || ${#pending[@]} == 0)) || die "cannot build ${pending[*]}: what they link is not built"
    continue
  fi
  finished=$(next_finished)
  status=0
  wait "$finished" || status=$?
  src=${running[$finished]}
  unset "running[$finished]"
  if ((status)); then
    wait # for the other builds to end
    die "building $src failed"
  fi
  finish_addon "$src"
  done_set[$src]=1
done
# the lists in the table's order, whatever the order the builds ended in:
# the prefix's libraries first, then these
for list in postergen-win64-dlls.txt postergen-win64-sources.txt; do
  file=$prefix/share/$list
  column=2
  [ "$list" = postergen-win64-sources.txt ] && column=1
  {
    awk -v c="$column" -v names=" ${!ver_of[*]} " 'index(names, " " $c " ") == 0' "$file"
    for entry in "${addons[@]}"; do
      read -r src _ <<<"$entry"
      awk -v c="$column" -v s="$src" '$c == s' "$file"
    done
  } >"$file.sorted"
  mv "$file.sorted" "$file"
done
