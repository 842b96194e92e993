#!/bin/sh
# Builds the voice in several variants (source voice, period cut point,
# level normalisation, period ends) and prints the report's key figures for
# each. Festival's renderings are shared between the runs.
#   tools/voicereport/compare-variants.sh [BUILD_DIR]
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build}
out=$build/voicereport/variants
mkdir -p "$out"
cmake --build "$build" --target voicebuild voicereport -j2 >/dev/null
run() {
  name=$1
  shift
  "$build/bin/voicebuild" "$@" --out "$out/$name.rec" >/dev/null
  printf '%-36s ' "$name"
  case "$*" in
    *"--voice ph"*) fest="(voice_czech_ph)"; festdir="$build/voicereport/festival-ph" ;;
    *) fest="(voice_czech_dita)"; festdir="$build/voicereport/festival" ;;
  esac
  "$build/bin/voicereport" --voice "$out/$name.rec" --out "$out/$name" --festival-voice "$fest" \
    --festival-dir "$festdir" | sed -n 's/^summary: //p'
}
run dita-fixed-none-cut    --cut fixed --level none  --ends cut --peak 100 --consonant-level none
run dita-fixed-vowel-cut   --cut fixed --level vowel --ends cut --peak 100 --consonant-level none
run dita-quiet-vowel-cut   --cut quiet --level vowel --ends cut --peak 100 --consonant-level none
run dita-fixed-none-zero   --cut fixed --level none  --ends zero --peak 100 --consonant-level none
run dita-fixed-vowel-zero  --cut fixed --level vowel --ends zero --peak 100 --consonant-level none
run dita-quiet-vowel-zero  --cut quiet --level vowel --ends zero --peak 100 --consonant-level none
run ph-fixed-vowel-zero    --voice ph --cut fixed --level vowel --ends zero --peak 100 --consonant-level none
run ph-quiet-vowel-zero    --voice ph --cut quiet --level vowel --ends zero --peak 100 --consonant-level none
run dita-default
run dita-default-no-consonant-level --consonant-level none
run dita-default-no-extra-period --extra-period 0 --length-scale 1
run dita-default-cluster-pairs --clusters pairs
run ph-default            --voice ph
