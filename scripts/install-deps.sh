#!/bin/sh
# Installs what building, testing and the voice need on Debian 12.
#   scripts/install-deps.sh          build, tests, voice
#   scripts/install-deps.sh --ci     also clang for the fuzz targets
#   scripts/install-deps.sh --list [--ci]   print the package names only
set -eu
list=false
if [ "${1:-}" = "--list" ]; then
  list=true
  shift
fi
packages="cmake make g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev
  libpulse-dev pulseaudio festvox-czech-dita"
if [ "${1:-}" = "--ci" ]; then
  packages="$packages clang libclang-rt-14-dev"
fi
if $list; then
  echo $packages
  exit 0
fi
# Nothing to do when every package is there already.
missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -n "$missing" ] || exit 0
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
# shellcheck disable=SC2086
$sudo apt-get install -y -qq --no-install-recommends $missing >/dev/null
