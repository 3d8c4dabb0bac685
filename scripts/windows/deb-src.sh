#!/usr/bin/env bash
# Adds deb-src entries derived from the machine's own deb entries in
# /etc/apt/sources.list.d/debian.sources (a twin file with Types: deb-src),
# unless some deb-src entry is already there. It does not run apt-get
# update: build-windows.sh calls it before the update it runs for its own
# packages, and build-prefix.sh updates when the source indices are missing.
set -euo pipefail
if grep -rqsE '^(Types:.*deb-src|deb-src )' /etc/apt/sources.list /etc/apt/sources.list.d/; then
  exit 0
fi
own=/etc/apt/sources.list.d/debian.sources
if [ ! -f "$own" ]; then
  echo "deb-src: error: no deb-src entries and no $own to derive them from" >&2
  exit 1
fi
echo "deb-src: adding deb-src entries derived from $own" >&2
sed -E 's/^Types:[[:space:]]*deb[[:space:]]*$/Types: deb-src/' "$own" \
  >/etc/apt/sources.list.d/postergen-deb-src.sources
