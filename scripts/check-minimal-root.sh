#!/usr/bin/env bash
# Checks that the README's two commands work on a fresh, minimal Debian 12
# (docs/development.md has the steps by hand): makes a minbase bookworm root
# with debootstrap, adds only a compiler, CMake, make, git and GoogleTest,
# clones this repository's HEAD into it and runs, in a chroot with a clean
# environment, scripts/run-example.sh and then scripts/test.sh. Everything else
# must come from scripts/install-deps.sh. With --ci it runs .ci/run instead
# (the tests, the Windows build and its tests under Wine), as CI does on a
# fresh machine, and its log has the time since the start before each line.
#
# Usage: check-minimal-root.sh [--fresh] [--ci] [DIR]
#   DIR      where the prepared root is cached (default
#            /var/cache/postergen-minroot); each run unpacks it anew, so
#            every run starts from the same minimal root
#   --fresh  make the root again with debootstrap instead of reusing it
#   --ci     run .ci/run in the root instead of the README's two commands
#
# The Debian mirror is the one of this machine's apt sources. Needs root.
set -euo pipefail

fresh=0
ci=0
cache=/var/cache/postergen-minroot
for arg in "$@"; do
  case $arg in
    --fresh) fresh=1 ;;
    --ci) ci=1 ;;
    -h | --help) sed -n '2,17p' "$0"; exit 0 ;;
    -*) echo "unknown option: $arg" >&2; exit 2 ;;
    *) cache=$arg ;;
  esac
done
[ "$(id -u)" -eq 0 ] || { echo "check-minimal-root.sh must run as root" >&2; exit 2; }

repo=$(git -C "$(dirname "$0")" rev-parse --show-toplevel)
commit=$(git -C "$repo" rev-parse HEAD)
mkdir -p "$cache"
cache=$(cd "$cache" && pwd)
base=$cache/minbase-root.tar
root=$cache/root
logs=$cache/logs
archives=$cache/apt-archives

# --- The mirror, from this machine's apt sources -------------------------
# Prints "URI|COMPONENTS" of the first enabled deb entry whose Suites hold
# the suite given, from the deb822 file (or, failing that, sources.list).
sources_entry() {
  local suite=$1 f
  for f in /etc/apt/sources.list.d/debian.sources /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    awk -v want="$suite" '
      function flush() {
        if (enabled != "no" && (" " types " ") ~ / deb / && (" " suites " ") ~ (" " want " ")) {
          split(uris, u, " "); sub(/[[:space:]]+$/, "", comps); sub(/^[[:space:]]+/, "", comps)
          print u[1] "|" comps; found = 1; exit
        }
        types = uris = suites = comps = enabled = ""
      }
      /^[[:space:]]*#/ { next }
      /^[[:space:]]*$/ { flush(); next }
      { key = tolower($1); $1 = "" }
      key == "types:" { types = $0 }
      key == "uris:" { uris = $0 }
      key == "suites:" { suites = $0 }
      key == "components:" { comps = $0 }
      key == "enabled:" { enabled = tolower($0); gsub(/[[:space:]]/, "", enabled) }
      END { if (!found) flush() }' "$f" | grep . && return 0
  done
  if [ -f /etc/apt/sources.list ]; then
    awk -v want="$suite" '$1 == "deb" && !/\[/ && $3 == want {
      c = ""; for (i = 4; i <= NF; i++) c = c (c == "" ? "" : " ") $i
      print $2 "|" c; exit }' /etc/apt/sources.list | grep . && return 0
  fi
  return 1
}

main_entry=$(sources_entry bookworm) ||
  { echo "no bookworm entry in this machine's apt sources" >&2; exit 2; }
mirror=${main_entry%%|*}
components=${main_entry#*|}
components=${components:-main}
security_entry=$(sources_entry bookworm-security || true)
updates_suite=""
sources_entry bookworm-updates >/dev/null && updates_suite=bookworm-updates
echo "Mirror: $mirror ($components)${security_entry:+; security: ${security_entry%%|*}}"

write_sources() {
  local dest=$1
  rm -f "$dest/etc/apt/sources.list"
  mkdir -p "$dest/etc/apt/sources.list.d"
  {
    printf 'Types: deb\nURIs: %s\nSuites: bookworm%s\nComponents: %s\n' \
      "$mirror" "${updates_suite:+ $updates_suite}" "$components"
    printf 'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg\n'
    if [ -n "$security_entry" ]; then
      printf '\nTypes: deb\nURIs: %s\nSuites: bookworm-security\nComponents: %s\n' \
        "${security_entry%%|*}" "${security_entry#*|}"
      printf 'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg\n'
    fi
  } >"$dest/etc/apt/sources.list.d/debian.sources"
}

# --- Mounts, undone on every exit ------------------------------------------
mounted=()
unmount_all() {
  local i
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
    umount "${mounted[i]}" 2>/dev/null || umount -l "${mounted[i]}" 2>/dev/null ||
      echo "could not unmount ${mounted[i]}" >&2
  done
  mounted=()
}
trap unmount_all EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

bind() { # bind SOURCE TARGET
  mkdir -p "$2"
  mount --bind "$1" "$2"
  mounted+=("$2")
}
mount_root() {
  local d
  for d in /proc /sys /dev /dev/pts /dev/shm; do bind "$d" "$1$d"; done
  bind "$archives" "$1/var/cache/apt/archives"
}
# Refuses to go on when anything is still mounted below the root, so that
# removing it can never reach the host's /dev or /proc.
assert_unmounted() {
  if awk -v r="$1" '$2 == r || index($2, r "/") == 1 { found = 1 } END { exit !found }' /proc/mounts; then
    echo "something is still mounted below $1; unmount it first" >&2
    exit 2
  fi
}
remove_root() {
  assert_unmounted "$1"
  rm -rf --one-file-system "$1"
}
in_root() { # in_root COMMAND: runs it as root in the chroot, clean environment
  chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin \
    LANG=C.UTF-8 CI=true DEBIAN_FRONTEND=noninteractive /bin/bash -c "$1"
}

mkdir -p "$archives" "$logs"

# --- The prepared root, cached as a tarball ---------------------------------
if ((fresh)) || [ ! -s "$base" ]; then
  if ! command -v debootstrap >/dev/null; then
    echo "== Installing debootstrap"
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends debootstrap
  fi
  rm -f "$base"
  remove_root "$root"
  echo "== debootstrap --variant=minbase bookworm (from $mirror)"
  start=$SECONDS
  debootstrap --variant=minbase bookworm "$root" "$mirror" >"$logs/debootstrap.log" 2>&1 ||
    { tail -n 30 "$logs/debootstrap.log"; echo "debootstrap failed (see $logs/debootstrap.log)" >&2; exit 1; }
  write_sources "$root"
  cp -L /etc/resolv.conf "$root/etc/resolv.conf"
  extra=(g++ cmake make git libgtest-dev libgmock-dev)
  case "$mirror ${security_entry%%|*}" in *https:*) extra+=(ca-certificates) ;; esac
  echo "== Installing into the root: ${extra[*]}"
  mount_root "$root"
  in_root "apt-get update -qq && apt-get install -y -qq --no-install-recommends ${extra[*]}" \
    >"$logs/base-packages.log" 2>&1 ||
    { tail -n 30 "$logs/base-packages.log"; echo "installing the base packages failed" >&2; exit 1; }
  unmount_all
  tar -C "$root" --numeric-owner -cf "$base.partial" .
  mv "$base.partial" "$base"
  echo "Root prepared in $((SECONDS - start)) s and kept as $base"
fi

# --- A fresh copy of it, with this repository's HEAD -------------------------
remove_root "$root"
mkdir -p "$root"
tar -C "$root" --numeric-owner -xf "$base"
write_sources "$root"
cp -L /etc/resolv.conf "$root/etc/resolv.conf"
git clone -q --no-hardlinks "$repo" "$root/src/postergen"
git -C "$root/src/postergen" checkout -q --detach "$commit"
echo "== Cloned $(git -C "$repo" log -1 --format='%h %s' "$commit")"
mount_root "$root"

# stamp: each line read, after the minutes and seconds since START
stamp() {
  local line
  while IFS= read -r line; do
    printf '[%3d:%02d] %s\n' $(((SECONDS - start) / 60)) $(((SECONDS - start) % 60)) "$line"
  done
}
commands=(scripts/run-example.sh scripts/test.sh)
((ci)) && commands=(.ci/run)
failed=()
for cmd in "${commands[@]}"; do
  log=$logs/$(basename "$cmd" .sh).log
  echo "== $cmd (log: $log)"
  start=$SECONDS
  set +o errexit
  if ((ci)); then
    in_root "cd /src/postergen && bash $cmd" 2>&1 | stamp | tee "$log"
  else
    in_root "cd /src/postergen && $cmd" 2>&1 | tee "$log"
  fi
  status=${PIPESTATUS[0]}
  set -o errexit
  took=$((SECONDS - start))
  if ((status == 0)); then
    echo "== $cmd passed in ${took} s"
  else
    echo "== $cmd FAILED with status $status after ${took} s"
    failed+=("$cmd")
  fi
done

if ((${#failed[@]})); then
  echo "Failed in the minimal root: ${failed[*]}"
  exit 1
fi
if ((ci)); then
  echo ".ci/run passed in a minimal Debian 12 root"
else
  echo "Both commands passed in a minimal Debian 12 root"
fi
