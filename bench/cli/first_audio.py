#!/usr/bin/env python3
"""Time from starting a command to the first byte of audio it writes: the
command writes a WAV stream to standard output, and the clock stops at the
first byte after the 44-byte header. Prints the median of RUNS runs in
milliseconds.

    first_audio.py RUNS COMMAND [ARGS...]
"""
import os
import statistics
import subprocess
import sys
import time

HEADER = 44


def once(command):
    start = time.perf_counter()
    process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    got = 0
    first = None
    while True:
        chunk = os.read(process.stdout.fileno(), 65536)
        if not chunk:
            break
        got += len(chunk)
        if got > HEADER:
            first = time.perf_counter()
            break
    process.kill()
    process.wait()
    if first is None:
        raise SystemExit("no audio from: " + " ".join(command))
    return (first - start) * 1000


def main():
    runs = int(sys.argv[1])
    command = sys.argv[2:]
    times = [once(command) for _ in range(runs)]
    print("%.1f" % statistics.median(times))


if __name__ == "__main__":
    main()
