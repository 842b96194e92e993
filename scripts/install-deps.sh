#!/bin/sh
# Installs what building, testing and the voice need on Debian 12.
#   scripts/install-deps.sh          build, tests, voice
#   scripts/install-deps.sh --ci     also clang for the fuzz targets
set -eu
packages="cmake make g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev
  libpulse-dev pulseaudio festvox-czech-dita"
if [ "${1:-}" = "--ci" ]; then
  packages="$packages clang libclang-rt-14-dev"
fi
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
# shellcheck disable=SC2086
$sudo apt-get install -y -qq --no-install-recommends $packages >/dev/null
