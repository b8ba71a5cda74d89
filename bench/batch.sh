#!/usr/bin/env bash
# A batch of whole pictures through one command: `pictor encode` of N copies of a TIFF with -j 2
# (simple rule, 1,200,000 bits, no quality measurement), against ffmpeg's one fixed-quantiser
# encode per picture run two at a time by xargs -P2. Alternated rounds; prints pictures/s.
#
#   bench/batch.sh [PICTURE.tif] [PICTURES] [ROUNDS]  (defaults: the example, 100, 5)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
picture="${1:-$root/examples/still/astronaut.tif}"
count="${2:-100}"
rounds="${3:-5}"
pictor="${PICTOR:-$root/build/release/tools/pictor}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir "$work/in"
for i in $(seq -w 1 "$count"); do cp "$picture" "$work/in/p$i.tif"; done

/usr/bin/python3 - "$pictor" "$work" "$rounds" <<'PY'
import glob, os, shutil, statistics, subprocess, sys, time

pictor, work, rounds = sys.argv[1], sys.argv[2], int(sys.argv[3])
inputs = sorted(glob.glob(work + "/in/*.tif"))

def run_pictor(threads):
    out = work + "/out"
    shutil.rmtree(out, ignore_errors=True)
    os.mkdir(out)
    env = dict(os.environ, PICTOR_THREADS=threads) if threads else None
    subprocess.run([pictor, "encode", *inputs, "--target", "1200000", "--standard", "pal",
                    "--aspect", "4:3", "--no-measure", "-q", "-j", "2", "--out-dir", out],
                   check=True, env=env)

def run_ffmpeg():
    out = work + "/ff"
    shutil.rmtree(out, ignore_errors=True)
    os.mkdir(out)
    script = ('ffmpeg -nostdin -loglevel error -y -i "$1" -frames:v 1 -c:v mpeg2video -q:v 2 '
              f'{out}/$(basename "$1" .tif).m2v')
    subprocess.run(["xargs", "-P2", "-n1", "sh", "-c", script, "sh"],
                   input="\n".join(inputs).encode(), check=True)

runs = {"pictor -j 2": lambda: run_pictor(None),
        "pictor -j 2, PICTOR_THREADS=1": lambda: run_pictor("1"),
        "ffmpeg xargs -P2": run_ffmpeg}
rates = {name: [] for name in runs}
for _ in range(rounds):
    for name, run in runs.items():
        start = time.perf_counter()
        run()
        rates[name].append(len(inputs) / (time.perf_counter() - start))
for name, r in rates.items():
    print(f"{name:32} median {statistics.median(r):7.1f} pictures/s  best {max(r):7.1f}")
PY
