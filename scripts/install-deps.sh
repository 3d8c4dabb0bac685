#!/usr/bin/env bash
# Installs, from Debian's archive, whatever the build, the example and the
# tests need and this machine lacks. Pass extra package names to add them.
set -euo pipefail

packages=(
  cmake g++ make pkg-config dpkg-dev file
  libsdl2-dev libsdl2-image-dev libsdl2-ttf-dev
  libexif-dev libpng-dev libjpeg-dev libtiff-dev libwebp-dev zlib1g-dev liblcms2-dev libdeflate-dev libisal-dev
  libjemalloc-dev
  libheif-dev
  libgtest-dev libgmock-dev
  fonts-dejavu-core fonts-wqy-microhei fonts-lohit-deva libharfbuzz-bin
  parallel chromium
  "$@"
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
