#!/usr/bin/env bash
# Cross-builds, for x86_64-w64-mingw32 (mingw-w64, posix threads), the
# libraries postergen.exe needs, from Debian's own source packages at the
# versions the Linux build uses, into a cached prefix, and prints the
# prefix's path as the last line of its standard output.
#
#   zlib, libpng1.6 (not its programs), libjpeg-turbo (with SIMD), freetype
#   (zlib + png, as Debian's; no bzip2, no brotli: brotli only decodes WOFF2
#   web fonts), harfbuzz (with freetype; Debian's SDL2_ttf shapes with it;
#   not its subsetter), tiff (zlib + jpeg only), libwebp (the libraries, not
#   its programs), libexif, libsdl2, libsdl2-image (PNG, JPEG, TIFF
#   and WebP linked in, no stb_image, as Debian configures it), libsdl2-ttf
#   (with harfbuzz, as Debian configures it).
#
# Libraries needed since are added by build-addons.sh, each under a key of
# its own, so that adding one does not rebuild this prefix.
#
# The prefix is $POSTERGEN_WIN_PREFIX, or /var/cache/postergen-win64/<key>
# where <key> hashes the chosen source versions, this script, the CMake
# toolchain file and the compiler's version: it is built only when missing
# or when one of those changed. Sources are kept under
# /var/cache/postergen-win64/src. A prefix counts as built once it holds
# .postergen-prefix with its key; a broken build is redone from scratch.
#
# Deb-src entries are derived from the machine's own deb entries in
# /etc/apt/sources.list.d/debian.sources (a twin file with Types: deb-src,
# by deb-src.sh) unless some deb-src entry is already there; apt-get update
# runs only when their indices are missing.
#
# Time on 2 cores, measured from nothing (toolchain installed): 308 s while
# other builds shared the machine (load about 6), two libraries at a time
# (SDL2 207 s beside libpng, freetype and harfbuzz, 112 s); one at a time,
# with harfbuzz's subsetter and every library's programs, it took 599 s on
# the same machine. See the log's "took" lines. An interrupted build of the
# same key builds only the libraries it had not finished.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
triplet=x86_64-w64-mingw32
cache=${POSTERGEN_WIN_CACHE:-/var/cache/postergen-win64}
toolchain=$root/cmake/mingw-w64-x86_64.cmake
jobs=$(nproc)

log() { echo "build-prefix: $*" >&2; }
die() {
  log "error: $*"
  exit 1
}

# source package, binary package whose version the Linux build uses
libs=(
  "zlib zlib1g"
  "libpng1.6 libpng16-16"
  "libjpeg-turbo libjpeg62-turbo"
  "freetype libfreetype6"
  "harfbuzz libharfbuzz0b"
  "tiff libtiff6"
  "libwebp libwebp7"
  "libexif libexif12"
  "libsdl2 libsdl2-2.0-0"
  "libsdl2-image libsdl2-image-2.0-0"
  "libsdl2-ttf libsdl2-ttf-2.0-0"
)

command -v "$triplet-gcc-posix" >/dev/null ||
  die "$triplet-gcc-posix is missing (apt-get install g++-mingw-w64-x86-64-posix)"

# Deb-src entries (deb-src.sh), and their indices once.
ensure_deb_src() {
  "$root/scripts/windows/deb-src.sh" || exit 1
  if ! apt-cache showsrc zlib 2>/dev/null | grep '^Package: zlib$' >/dev/null; then
    apt-get update -qq
  fi
}

upstream_of() {
  local v=${1#*:}
  echo "${v%-*}"
}

# The version of the binary package the Linux build has, or would get.
wanted_version() {
  local bin=$1 v
  v=$(dpkg-query -W -f='${db:Status-Abbrev}|${source:Version}' "$bin" 2>/dev/null || true)
  if [[ $v == ii* ]]; then
    echo "${v#*|}"
  else
    apt-cache policy "$bin" | awk '/Candidate:/ {print $2}'
  fi
}

# The wanted version first, then the archive's other revisions of the same
# upstream release, newest first (an installed security update can be gone
# from the archive's pool).
candidate_versions() {
  local src=$1 want=$2 up v
  up=$(upstream_of "$want")
  echo "$want"
  apt-cache showsrc "$src" 2>/dev/null | awk '/^Version:/ {print $2}' | sort -u |
    while read -r v; do
      [ "$v" != "$want" ] && [ "$(upstream_of "$v")" = "$up" ] && echo "$v"
    done | sort -r -V
}

# Downloads src=version into $cache/src and prints the .dsc's path.
fetch_source() {
  local src=$1 ver=$2 dir dsc
  dir=$cache/src/${src}_${ver#*:}
  if [ -f "$dir/.done" ]; then
    ls "$dir"/*.dsc
    return 0
  fi
  rm -rf "$dir" && mkdir -p "$dir"
  if ! (cd "$dir" && apt-get source -qq --download-only "$src=$ver" >/dev/null 2>&1); then
    rm -rf "$dir"
    return 1
  fi
  dsc=$(ls "$dir"/*.dsc 2>/dev/null | head -1)
  # apt may hand over another revision than the one asked for
  if [ -z "$dsc" ] || ! grep -qx "Version: $ver" "$dsc"; then
    rm -rf "$dir"
    return 1
  fi
  touch "$dir/.done"
  echo "$dsc"
}

ensure_deb_src

declare -A want
plan=""
for entry in "${libs[@]}"; do
  read -r src bin <<<"$entry"
  v=$(wanted_version "$bin")
  [ -n "$v" ] || die "no version of $bin is installed or available"
  want[$src]=$v
  plan+="$src=$v"$'\n'
done

key=$({
  printf '%s' "$plan"
  cat "$0" "$toolchain" | grep -v '^[[:space:]]*#' # comments do not count
  "$triplet-gcc-posix" --version | head -1
} | sha256sum | cut -c1-16)
[ -n "${POSTERGEN_WIN_PREFIX:-}" ] && POSTERGEN_WIN_PREFIX_SET=1
prefix=${POSTERGEN_WIN_PREFIX:-$cache/$key}
stamp=$prefix/.postergen-prefix

if [ -f "$stamp" ] && [ "$(head -1 "$stamp")" = "$key" ]; then
  log "using the cached prefix $prefix"
  echo "$prefix"
  exit 0
fi
if [ -d "$prefix" ] && [ -n "$(ls -A "$prefix")" ] && [ ! -f "$stamp" ] &&
  [ ! -f "$prefix/.postergen-prefix-partial" ]; then
  die "$prefix is not empty and was not made by this script; refusing to wipe it"
fi

start=$SECONDS
if [ "$(cat "$prefix/.postergen-prefix-partial" 2>/dev/null)" = "$key" ]; then
  log "resuming the build of $prefix (key $key)"
else
  log "building the prefix $prefix (key $key)"
  rm -rf "$prefix"
  mkdir -p "$prefix"/{bin,include,lib/pkgconfig,share/licenses,.done}
  echo "$key" >"$prefix/.postergen-prefix-partial"
fi
work=$cache/work-$key
rm -rf "$work" && mkdir -p "$work/logs"

export CC=$triplet-gcc-posix CXX=$triplet-g++-posix
export AR=$triplet-ar RANLIB=$triplet-ranlib STRIP=$triplet-strip NM=$triplet-nm
export WINDRES=$triplet-windres RC=$triplet-windres DLLTOOL=$triplet-dlltool
export CFLAGS="-O2" CXXFLAGS="-O2"
export CPPFLAGS="-I$prefix/include" LDFLAGS="-L$prefix/lib"
export PKG_CONFIG=pkg-config PKG_CONFIG_LIBDIR=$prefix/lib/pkgconfig
unset PKG_CONFIG_PATH PKG_CONFIG_SYSROOT_DIR
export PATH=$prefix/bin:$PATH
export POSTERGEN_WIN_PREFIX=$prefix

configure_autotools() {
  ./configure --host=$triplet --build="$(dpkg-architecture -qDEB_BUILD_GNU_TYPE)" \
    --prefix="$prefix" --libdir="$prefix/lib" --disable-static --enable-shared \
    --disable-dependency-tracking "$@"
}
make_install() { make -j"$jobs" "$@" && make install "$@"; }
cmake_install() {
  cmake -S . -B _win -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DPOSTERGEN_WIN_PREFIX="$prefix" -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DCMAKE_INSTALL_LIBDIR=lib -DCMAKE_BUILD_TYPE=None -DBUILD_SHARED_LIBS=ON "$@"
  cmake --build _win -j"$jobs"
  cmake --install _win
}

build_zlib() {
  # Debian's source has no win32 makefiles: build the DLL directly.
  local objs=() f
  for f in adler32 compress crc32 deflate gzclose gzlib gzread gzwrite infback \
    inffast inflate inftrees trees uncompr zutil; do
    $CC $CFLAGS -c "$f.c" -o "$f.o"
    objs+=("$f.o")
  done
  $CC -shared -o zlib1.dll "${objs[@]}" -Wl,--out-implib,libz.dll.a
  install -m 755 zlib1.dll "$prefix/bin/"
  install -m 644 libz.dll.a "$prefix/lib/"
  install -m 644 zlib.h zconf.h "$prefix/include/"
  sed -e "s|@prefix@|$prefix|; s|@exec_prefix@|\${prefix}|; s|@libdir@|\${exec_prefix}/lib|" \
    -e "s|@sharedlibdir@|\${libdir}|; s|@includedir@|\${prefix}/include|" \
    -e "s|@VERSION@|$(upstream_of "${want[zlib]}" | sed 's/\.dfsg//')|" \
    zlib.pc.in >"$prefix/lib/pkgconfig/zlib.pc"
}
build_libpng1.6() {
  configure_autotools
  make_install bin_PROGRAMS= # not pngfix and png-fix-itxt
}
build_libjpeg-turbo() {
  # its own GNUInstallDirs takes a relative libdir as relative to the build
  cmake_install -DCMAKE_INSTALL_LIBDIR="$prefix/lib" -DENABLE_STATIC=OFF \
    -DWITH_TURBOJPEG=OFF -DREQUIRE_SIMD=ON
}
build_freetype() {
  cmake_install -DFT_DISABLE_HARFBUZZ=ON -DFT_DISABLE_BZIP2=ON -DFT_DISABLE_BROTLI=ON \
    -DFT_REQUIRE_ZLIB=ON -DFT_REQUIRE_PNG=ON
}
build_harfbuzz() {
  cat >"$work/cross.ini" <<EOF
[binaries]
c = '$CC'
cpp = '$CXX'
ar = '$AR'
strip = '$STRIP'
windres = '$WINDRES'
pkgconfig = 'pkg-config'

[properties]
pkg_config_libdir = '$prefix/lib/pkgconfig'

[host_machine]
system = 'windows'
cpu_family = 'x86_64'
cpu = 'x86_64'
endian = 'little'
EOF
  # The shaping library alone: not libharfbuzz-subset (a font subsetter,
  # which SDL2_ttf does not use, as heavy to compile as the rest). Its
  # sources compiled as one (unity=on; harfbuzz's own harfbuzz.cc is the
  # same, the amalgamated build upstream supports): 30 s of CPU instead of
  # 95 s file by file, 190 s with the subsetter.
  sed -i -e "/^libharfbuzz_subset = library(/,/^)/ s/install: true/install: false, build_by_default: false/" \
    -e "/^pkgmod.generate(libharfbuzz_subset,/,/^)/d" src/meson.build
  grep -q 'install: false, build_by_default: false' src/meson.build || return 1
  ! grep -q 'pkgmod.generate(libharfbuzz_subset' src/meson.build || return 1
  meson setup _win --cross-file "$work/cross.ini" --prefix "$prefix" --libdir lib \
    --buildtype release --default-library shared --wrap-mode nodownload \
    -Dunity=on -Dunity_size=100 \
    -Dfreetype=enabled -Dglib=disabled -Dgobject=disabled -Dcairo=disabled \
    -Dchafa=disabled -Dicu=disabled -Dgraphite2=disabled -Dtests=disabled \
    -Dintrospection=disabled -Ddocs=disabled -Dbenchmark=disabled &&
    ninja -C _win -j"$jobs" &&
    ninja -C _win install
}
build_tiff() {
  cmake_install -Dtiff-tools=OFF -Dtiff-tests=OFF -Dtiff-contrib=OFF -Dtiff-docs=OFF \
    -Dcxx=OFF -Dzlib=ON -Djpeg=ON -Djpeg12=OFF -Djbig=OFF -Dlzma=OFF -Dzstd=OFF \
    -Dwebp=OFF -Dlerc=OFF -Dlibdeflate=OFF -Dsphinx=OFF -Dtiff-opengl=OFF
}
build_libwebp() {
  configure_autotools --enable-libwebpdemux --enable-libwebpmux \
    --disable-png --disable-jpeg --disable-tiff --disable-gif --disable-wic \
    --disable-gl --disable-sdl
  # the libraries alone: not the example programs (cwebp, dwebp, webpmux,
  # img2webp, webpinfo) and the image readers they share
  make -j"$jobs" -C sharpyuv && make -j"$jobs" -C src && make -C sharpyuv install && make -C src install
}
build_libexif() {
  autoreconf -fi
  configure_autotools --disable-nls --disable-docs
  make_install
}
build_libsdl2() {
  cmake_install -DSDL_SHARED=ON -DSDL_STATIC=OFF -DSDL_TEST=OFF
}
# sdl2.pc names SDL2main and libmingw32, which are static: libtool then
# refuses to make a DLL. A library needs neither.
sdl_libs() {
  export SDL_CFLAGS SDL_LIBS="-L$prefix/lib -lSDL2"
  # without -Dmain=SDL_main, which breaks configure's link tests
  SDL_CFLAGS=$(pkg-config --cflags sdl2 | sed 's/-Dmain=SDL_main//')
}
# SDL's config file for CMake names the DLL without libtool's release suffix.
fix_dll_name() {
  local lib=$1 dll
  dll=$(cd "$prefix/bin" && ls lib"$lib"-*.dll)
  sed -i "s|/$lib.dll\"|/$dll\"|" "$prefix/lib/cmake/$lib/${lib,,}-config.cmake"
}
build_libsdl2-image() {
  AUTOMAKE="automake --foreign" autoreconf -fi
  sdl_libs
  configure_autotools --disable-sdltest --disable-stb-image \
    --disable-avif --disable-jxl --disable-avif-shared --disable-jxl-shared \
    --disable-jpg-shared --disable-tif-shared --disable-png-shared --disable-webp-shared
  make_install noinst_PROGRAMS= # the demo programs need SDL2main
  fix_dll_name SDL2_image
}
build_libsdl2-ttf() {
  AUTOMAKE="automake --foreign" ACLOCAL="aclocal --force --install -I acinclude" autoreconf -fi
  sdl_libs
  configure_autotools --disable-sdltest --enable-harfbuzz \
    --disable-freetype-builtin --disable-harfbuzz-builtin
  make_install noinst_PROGRAMS=
  fix_dll_name SDL2_ttf
}

# Licence texts: Debian's copyright file and the upstream licence files.
copy_licences() {
  local src=$1 dest=$prefix/share/licenses/$1 f
  mkdir -p "$dest"
  cp debian/copyright "$dest/copyright"
  for f in COPYING LICENSE LICENSE.txt LICENSE.md LICENSE.TXT docs/FTL.TXT \
    docs/GPLv2.TXT README.ijg PATENTS; do
    [ -f "$f" ] && cp "$f" "$dest/$(basename "$f")"
  done
  return 0
}

# build_one SRC: fetches, unpacks and builds one library into the prefix,
# copies its licences and notes in $prefix/.done/SRC the source version
# built (first line) and its DLLs (one a line).
build_one() {
  local src=$1 t0=$SECONDS dsc="" ver dir dll
  while read -r ver; do
    if dsc=$(fetch_source "$src" "$ver"); then
      [ "$ver" = "${want[$src]}" ] ||
        log "note: $src ${want[$src]} cannot be fetched; using $ver, the same upstream release"
      break
    fi
  done < <(candidate_versions "$src" "${want[$src]}")
  [ -n "$dsc" ] || die "cannot fetch any revision of $src $(upstream_of "${want[$src]}")"
  dir=$work/$src
  dpkg-source -x "$dsc" "$dir" >"$work/logs/$src.log" 2>&1 || {
    tail -20 "$work/logs/$src.log" >&2
    die "cannot unpack $dsc"
  }
  log "building $src"
  if ! (cd "$dir" && "build_$src") >>"$work/logs/$src.log" 2>&1; then
    tail -40 "$work/logs/$src.log" >&2
    die "building $src failed; the whole log is $work/logs/$src.log"
  fi
  (cd "$dir" && copy_licences "$src")
  # which package each DLL comes from, for the licences shipped with it: the
  # prefix's DLLs that this library's build tree made (other libraries are
  # built into the prefix at the same time)
  {
    grep -m1 '^Version:' "$dsc" | cut -d' ' -f2
    find "$dir" -iname '*.dll' -printf '%f\n' | sort -u | while read -r dll; do
      if [ -f "$prefix/bin/$dll" ]; then echo "$dll"; fi
    done
  } >"$work/$src.done"
  mv "$work/$src.done" "$prefix/.done/$src"
  log "$src took $((SECONDS - t0)) s"
}

# Up to $PREFIX_JOBS libraries (default 2) are built at once, each as soon
# as the libraries it builds against are in the prefix, the longest chain
# first: most steps of a build (configure scripts, links) use one CPU. Each
# library's optional dependencies are named in its build function, so what
# it finds does not depend on what else has been built so far.
declare -A needs=(
  [libpng1.6]="zlib"
  [freetype]="zlib libpng1.6"
  [harfbuzz]="freetype"
  [tiff]="zlib libjpeg-turbo"
  [libsdl2-image]="zlib libsdl2 libpng1.6 libjpeg-turbo tiff libwebp"
  [libsdl2-ttf]="libsdl2 freetype harfbuzz"
)
order=(zlib libpng1.6 freetype harfbuzz libjpeg-turbo libsdl2 tiff libwebp libexif libsdl2-image
  libsdl2-ttf)
((${#order[@]} == ${#libs[@]})) || die "the build order does not name every library"
at_once=${PREFIX_JOBS:-2}
declare -A running=() # pid -> source package
pending=()
for src in "${order[@]}"; do
  [ -n "${want[$src]:-}" ] || die "$src is in the build order but not in the table"
  [ -f "$prefix/.done/$src" ] || pending+=("$src")
done
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
  left=()
  for src in "${pending[@]}"; do
    ready=1
    for dep in ${needs[$src]:-}; do [ -f "$prefix/.done/$dep" ] || ready=0; done
    if ((ready && ${#running[@]} < at_once)); then
      build_one "$src" </dev/null &
      running[$!]=$src
    else
      left+=("$src")
    fi
  done
  pending=("${left[@]}")
  ((${#running[@]})) || die "cannot build ${pending[*]}: what they need is not built"
  finished=$(next_finished)
  status=0
  wait "$finished" || status=$?
  src=${running[$finished]}
  unset "running[$finished]"
  if ((status)); then
    wait # for the other builds to end
    die "building $src failed"
  fi
done
# the sources and DLLs in the table's order, whatever the order of the builds
for entry in "${libs[@]}"; do
  read -r src bin <<<"$entry"
  echo "$src $(head -1 "$prefix/.done/$src")"
done >"$prefix/share/postergen-win64-sources.txt"
for entry in "${libs[@]}"; do
  read -r src bin <<<"$entry"
  tail -n +2 "$prefix/.done/$src" | sed "s|\$| $src|"
done >"$prefix/share/postergen-win64-dlls.txt"

# every library must have made its DLL
for dll in zlib1 libpng16-16 libjpeg-62 libfreetype libharfbuzz-0 libtiff libwebp-7 libexif-12 \
  SDL2 libSDL2_image-2-0-0 libSDL2_ttf-2-0-0; do
  [ -f "$prefix/bin/$dll.dll" ] || die "the build made no $dll.dll"
done
rm -rf "$work"
rm -f "$prefix/.postergen-prefix-partial"
# prefixes of earlier keys are of no more use
if [ -z "${POSTERGEN_WIN_PREFIX_SET:-}" ]; then
  for old in "$cache"/*/.postergen-prefix "$cache"/*/.postergen-prefix-partial; do
    if [ -e "$old" ] && [ "$(dirname "$old")" != "$prefix" ]; then rm -rf "$(dirname "$old")"; fi
  done
fi
printf '%s\n%s' "$key" "$plan" >"$stamp"
log "the prefix took $((SECONDS - start)) s"
echo "$prefix"
