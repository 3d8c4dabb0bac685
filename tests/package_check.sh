#!/usr/bin/env bash
# Installs into a scratch prefix and builds the Debian package from the build
# folder given, then checks the installed layout, the package's metadata and
# its file list, and lints the package and its man pages as Debian does.
# Usage: package_check.sh BUILD_DIR
set -euo pipefail
build=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "package check: $*"; exit 1; }

cmake --install "$build" --prefix "$scratch/prefix" >/dev/null
for f in bin/postergen bin/postergen-batch share/man/man1/postergen.1.gz \
  share/man/man1/postergen-batch.1.gz share/doc/postergen/README.md share/doc/postergen/LICENSE \
  share/doc/postergen/copyright share/doc/postergen/changelog.gz; do
  [ -f "$scratch/prefix/$f" ] || fail "cmake --install did not put $f under the prefix"
done

(cd "$scratch" && cpack -G DEB -B "$scratch/out" --config "$build/CPackConfig.cmake" >/dev/null)
deb=$(ls "$scratch"/out/postergen_*_*.deb)
[ "$(dpkg-deb -f "$deb" Package)" = postergen ] || fail "wrong package name"
[ -n "$(dpkg-deb -f "$deb" Version)" ] || fail "no version"
[ -n "$(dpkg-deb -f "$deb" Maintainer)" ] || fail "no maintainer"
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libsdl2-2.0-0 libsdl2-image-2.0-0 libsdl2-ttf-2.0-0 libexif12 liblcms2-2 libdeflate0 libisal2 libjemalloc2; do
  grep -Eq "(^|, )$lib \(>= [0-9.]+" <<<"$depends" || fail "Depends lacks $lib: $depends"
done
files=$(dpkg-deb -c "$deb" | awk '{print $6}')
for f in ./usr/bin/postergen ./usr/bin/postergen-batch ./usr/share/man/man1/postergen.1.gz \
  ./usr/share/man/man1/postergen-batch.1.gz ./usr/share/doc/postergen/README.md \
  ./usr/share/doc/postergen/LICENSE ./usr/share/doc/postergen/copyright \
  ./usr/share/doc/postergen/changelog.gz; do
  grep -qx "$f" <<<"$files" || fail "package lacks $f"
done
unexpected=$(grep -v -e '/$' -e '^./usr/bin/postergen$' -e '^./usr/bin/postergen-batch$' \
  -e '^./usr/share/man/man1/postergen\(-batch\)\?\.1\.gz$' -e '^./usr/share/doc/postergen/' <<<"$files" || true)
[ -z "$unexpected" ] || fail "package holds unexpected files: $unexpected"

version=$(dpkg-deb -f "$deb" Version)
newest=$(zcat "$scratch/prefix/share/doc/postergen/changelog.gz" | sed -n '1s/^postergen (\([^)]*\)).*/\1/p')
[ "$newest" = "$version" ] || fail "the changelog's newest entry is $newest, not $version: add one to packaging/debian/changelog"
for tool in lintian mandoc; do
  command -v $tool >/dev/null || fail "$tool is missing: scripts/install-deps.sh lintian mandoc installs it"
done
# One page a call: mandoc decompresses only the first file it is given.
for page in "$scratch"/prefix/share/man/man1/*.1.gz; do
  out=$(mandoc -T lint -W warning "$page" 2>&1) || fail "mandoc warns about $(basename "$page"):"$'\n'"$out"
done
out=$(lintian --fail-on error,warning "$deb" 2>&1) || fail "lintian finds errors or warnings:"$'\n'"$out"
echo "package check: $(basename "$deb"), Depends: $depends"
