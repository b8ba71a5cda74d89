#!/usr/bin/env bash
# Whole processes side by side: `pictor encode` of a TIFF (simple and extended rule, 1,200,000
# bits, PAL 4:3, no quality measurement) against one ffmpeg MPEG-2 encode of the same TIFF at
# -q:v 2, in alternated runs so that a change in the machine's load touches all three alike.
# Prints each one's median and fastest run and the ratios of the medians.
#
#   bench/compare.sh [PICTURE.tif] [RUNS]     (defaults: the example photograph, 20 runs)
#
# PICTOR names the pictor command (default: the release build's).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
picture="${1:-$root/examples/still/astronaut.tif}"
runs="${2:-20}"
pictor="${PICTOR:-$root/build/release/tools/pictor}"
for tool in "$pictor" ffmpeg python3; do
    command -v "$tool" >/dev/null || { echo "compare.sh: $tool is missing" >&2; exit 1; }
done
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT

python3 - "$pictor" "$picture" "$runs" "$out" <<'PY'
import os, statistics, subprocess, sys, time

pictor, picture, runs, out = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]
encode = [pictor, "encode", picture, "--target", "1200000", "--standard", "pal",
          "--aspect", "4:3", "--no-measure", "-q"]
commands = {
    "pictor simple": encode + ["-o", out + "/simple.m2v"],
    "pictor extended": encode + ["--extended", "-o", out + "/extended.m2v"],
    "ffmpeg -q:v 2": ["ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-i", picture,
                      "-frames:v", "1", "-c:v", "mpeg2video", "-q:v", "2", out + "/ffmpeg.m2v"],
}
times = {name: [] for name in commands}
for _ in range(runs):
    for name, command in commands.items():
        # Each run writes a new file: replacing one adds the fsync that keeps the replaced file
        # safe until the new one is whole, which ffmpeg's -y does not do.
        if os.path.exists(command[-1]):
            os.remove(command[-1])
        start = time.perf_counter()
        subprocess.run(command, check=True)
        times[name].append((time.perf_counter() - start) * 1000.0)
median = {name: statistics.median(t) for name, t in times.items()}
for name, t in times.items():
    print(f"{name:16} median {median[name]:7.1f} ms   fastest {min(t):7.1f} ms   ({runs} runs)")
for rule in ("simple", "extended"):
    ratio = median["ffmpeg -q:v 2"] / median["pictor " + rule]
    print(f"pictor {rule:8} is {ratio:4.1f}x as fast as one ffmpeg encode")
PY
