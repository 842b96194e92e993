#!/bin/sh
# Whole-process comparison of `sonter2 say` with `espeak-ng -v cs` on the
# same generated Czech text: audio seconds per CPU second and peak memory
# writing a WAV file (GNU time), and time to the first audio byte on a WAV
# stream for one sentence and for the whole text. Prints a Markdown table.
#   bench/cli/run.sh [BUILD_DIR] [WORDS]
# Needs: apt-get install espeak-ng time   (and the voice in BUILD_DIR/lib)
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build}
words=${2:-20000}
sonter2="$build/bin/sonter2"
here="$root/bench/cli"
work=$(mktemp -d)
trap 'kill $holder 2>/dev/null || true; rm -rf "$work"' EXIT
holder=""

for tool in espeak-ng /usr/bin/time python3; do
  command -v "$tool" >/dev/null || { echo "run.sh: $tool is missing (apt-get install espeak-ng time)" >&2; exit 1; }
done
[ -f "$build/lib/tamsel.rec" ] || { echo "run.sh: no voice in $build/lib (tools/build-voice.sh $build)" >&2; exit 1; }

# The command on its own: no registration, no registry, a region of its own.
export SONTER2_CLASSES="$work/none.reg" SONTER2_REGISTRY="$work/none.reg" SONTER2_REGION="sonter2-bench-$$"

python3 "$here/make_text.py" "$words" > "$work/book.txt"
sentence="Dobrý den, jak se máte? Dnes je krásný den."

# audio seconds of a WAV file
seconds() { python3 -c 'import sys, wave; w = wave.open(sys.argv[1]); print(w.getnframes() / w.getframerate())' "$1"; }

# runs a command under GNU time; prints "cpu_seconds peak_kb"
measure() {
  /usr/bin/time -v -o "$work/time.txt" "$@" >/dev/null 2>&1
  python3 - "$work/time.txt" <<'PY'
import sys
fields = dict(line.strip().rsplit(": ", 1) for line in open(sys.argv[1]) if ": " in line)
cpu = float(fields["User time (seconds)"]) + float(fields["System time (seconds)"])
print(cpu, fields["Maximum resident set size (kbytes)"])
PY
}

row() {  # name cpu kb audio first_sentence first_book
  python3 -c 'import sys
name, cpu, kb, audio, s, b = sys.argv[1:]
cpu, audio = float(cpu), float(audio)
print("| %s | %.0f | %.2f | %.0f | %.1f | %s | %s |" % (name, audio, cpu, audio / max(cpu, 0.01), int(kb) / 1024, s, b))' "$@"
}

set -- $(measure "$sonter2" say -f "$work/book.txt" -o "$work/sonter2.wav")
s_cpu=$1 s_kb=$2
s_audio=$(seconds "$work/sonter2.wav")
set -- $(measure espeak-ng -v cs -f "$work/book.txt" -w "$work/espeak.wav")
e_cpu=$1 e_kb=$2
e_audio=$(seconds "$work/espeak.wav")

first() { python3 "$here/first_audio.py" 9 "$@"; }
s_first_sentence=$(first "$sonter2" say --stdout "$sentence")
s_first_book=$(first "$sonter2" say --stdout -f "$work/book.txt")
e_first_sentence=$(first espeak-ng -v cs --stdout "$sentence")
e_first_book=$(first espeak-ng -v cs --stdout -f "$work/book.txt")

# The voice region already mapped by another process (a screen reader's
# engine): a command held at a stalled pipe keeps it.
mkfifo "$work/fifo"
"$sonter2" say --raw -f "$work/book.txt" > "$work/fifo" &
holder=$!
exec 3<"$work/fifo"
sleep 1
w_first_sentence=$(first "$sonter2" say --stdout "$sentence")
w_first_book=$(first "$sonter2" say --stdout -f "$work/book.txt")
kill $holder; holder=""
exec 3<&-

echo "Text: $(wc -w < "$work/book.txt") words ($(wc -c < "$work/book.txt") bytes), $(nproc) cores, $(date -u +%Y-%m-%d)"
echo
echo "| engine | audio s | CPU s | audio s per CPU s | peak MiB | first audio, sentence (ms) | first audio, $words words (ms) |"
echo "|---|---|---|---|---|---|---|"
row "sonter2 say" "$s_cpu" "$s_kb" "$s_audio" "$s_first_sentence" "$s_first_book"
echo "| sonter2 say, voice already mapped by another process | | | | | $w_first_sentence | $w_first_book |"
row "espeak-ng -v cs" "$e_cpu" "$e_kb" "$e_audio" "$e_first_sentence" "$e_first_book"
python3 -c 'import sys
s_cpu, s_audio, e_cpu, e_audio = map(float, sys.argv[1:])
print("\nThroughput ratio (sonter2 / espeak-ng): %.1f x" % ((s_audio / s_cpu) / (e_audio / e_cpu)))' \
  "$s_cpu" "$s_audio" "$e_cpu" "$e_audio"
