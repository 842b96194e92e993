#!/bin/sh
# Builds the voice file build/lib/tamsel.rec (or BUILD_DIR/lib/tamsel.rec)
# from the installed Festival Czech voice, and its licence notice beside it.
# Installs nothing: the source comes from the Debian package
# festvox-czech-dita (festvox-czech-ph with --voice ph).
#   tools/build-voice.sh [BUILD_DIR] [voicebuild options...]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
[ $# -gt 0 ] && shift

package=festvox-czech-dita
voice=czech_dita
copyright="Copyright (C) 2005, 2010, 2011 Brailcom, o.p.s."
licence="version 3 or (at your option) any later version"
case " $* " in
  *" --voice ph "*)
    package=festvox-czech-ph
    voice=czech_ph
    copyright="Copyright (C) 2005 Brailcom, o.p.s."
    licence="version 2 or (at your option) any later version"
    ;;
esac
source=/usr/share/festival/voices/czech/$voice/group/${voice#czech_}.group
if [ ! -r "$source" ]; then
  echo "build-voice: $source is missing; install it with: apt-get install $package" >&2
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
Czech diphone voice "$voice" (Debian package $package,
$(dpkg-query -W -f='${Version}' $package 2>/dev/null || echo 'version unknown')).
The waveforms were rebuilt from its LPC coefficients and residuals, resampled
to 22050 Hz, cut into pitch periods and stored as 8-bit samples.

$copyright
This file is a modified form of that voice and is distributed under the
GNU General Public License, $licence.
Its source: the group file of $package and the program
tools/voicebuild of sonter2 with the options: ${*:-(defaults)}.
See /usr/share/doc/$package/copyright for the original notice.
NOTE
