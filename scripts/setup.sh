#!/bin/sh
# Installs the dependencies, builds the engine and the sonter2 command into
# build/, and builds the voice file build/lib/tamsel.rec.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" -j"$(nproc)"
"$root/tools/build-voice.sh" "$root/build"
