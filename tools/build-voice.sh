#!/bin/sh
# Builds the voice file build/lib/tamsel.rec (or BUILD_DIR/lib/tamsel.rec)
# from the installed Festival Czech voice. Installs nothing: the source
# comes from the Debian package festvox-czech-dita.
#   tools/build-voice.sh [BUILD_DIR] [voicebuild options...]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
[ $# -gt 0 ] && shift
source=/usr/share/festival/voices/czech/czech_dita/group/dita.group
if [ ! -r "$source" ]; then
  echo "build-voice: $source is missing; install it with: apt-get install festvox-czech-dita" >&2
  exit 1
fi
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" >/dev/null
fi
cmake --build "$build" --target voicebuild -j2 >/dev/null
mkdir -p "$build/lib"
"$build/bin/voicebuild" "$@" --out "$build/lib/tamsel.rec"
cat > "$build/lib/tamsel.rec.COPYING" <<NOTE
tamsel.rec: voice data for sonter2, converted by tools/voicebuild from the
Czech diphone voice "czech_dita" (Debian package festvox-czech-dita,
$(dpkg-query -W -f='${Version}' festvox-czech-dita 2>/dev/null || echo 'version unknown')).
The waveforms were rebuilt from its LPC coefficients and residuals, resampled
to 22050 Hz, cut into pitch periods and stored as 8-bit samples.

Copyright (C) 2005, 2010, 2011 Brailcom, o.p.s.
This file is a modified form of that voice and is distributed under the
GNU General Public License, version 3 or (at your option) any later version.
Its source: the group file of festvox-czech-dita and the program
tools/voicebuild of sonter2 with the options: ${*:-(defaults)}.
See /usr/share/doc/festvox-czech-dita/copyright for the original notice.
NOTE
