#!/bin/sh
# Builds everything in build/ (with the voice file) and runs the tests.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo ${SONTER2_CMAKE_ARGS:-} >/dev/null
cmake --build "$build" -j"$(nproc)"
if [ ! -f "$build/lib/tamsel.rec" ]; then "$root/tools/build-voice.sh" "$build"; fi
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" ${CTEST_ARGS:-}
