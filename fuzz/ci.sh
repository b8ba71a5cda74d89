#!/usr/bin/env bash
# The fuzzing stage of every CI run: in the fuzz preset's sanitizer build, each fuzz target that
# build/fuzz/fuzz/targets.txt names (every fuzz_* target fuzz/CMakeLists.txt defines) replays its
# seed corpus, then mutates for SECONDS seconds (default 30). Any report fails the stage, and the
# input that caused it is printed into the log (base64: `base64 -d > crash` gives it back).
# Longer runs, with their corpus kept: fuzz/run.sh.
#
# Usage: fuzz/ci.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-30}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)"

runs=build/fuzz-ci
rm -rf "$runs"
mkdir -p "$runs/tmp"
failed=()
while read -r target program; do
    input=${target#fuzz_}
    seeds=fuzz/corpus/$input
    corpus=$runs/corpus/$input
    artifacts=$runs/artifacts/$input
    mkdir -p "$corpus" "$artifacts"
    [ -d "$seeds" ] || seeds=$corpus
    # Timeouts sit above the targets' own watchdogs (at most 30 s for a full frame).
    args=(-dict=fuzz/pictor.dict -timeout=90 -rss_limit_mb=3072 -close_fd_mask=1
          -print_final_stats=1 -artifact_prefix="$artifacts/")
    # libvips starts and ends worker threads inside an input, and LeakSanitizer's check between
    # inputs, or at the process's exit, can fault stopping one of them; its replay in ctest still
    # checks leaks at exit.
    leaks=1
    [ "$target" = fuzz_picture_front ] && args+=(-detect_leaks=0) && leaks=0
    for step in replay mutate; do
        log=$runs/$input.$step.log
        limit=(-runs=0)
        [ "$step" = mutate ] && limit=(-max_total_time="$seconds")
        start=$(date +%s)
        status=0
        env LSAN_OPTIONS="suppressions=$PWD/fuzz/lsan.supp" ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=$leaks" \
            TMPDIR="$runs/tmp" \
            "$program" "${args[@]}" "${limit[@]}" "$corpus" "$seeds" >"$log" 2>&1 ||
            status=$?
        last=$(grep -E '^#[0-9]+' "$log" | tail -1 || true)
        printf '== %-16s %-6s %3s s  exit %s  %s\n' "$target" "$step" "$(($(date +%s) - start))" \
            "$status" "$last"
        if [ "$status" -ne 0 ] || [ -n "$(ls -A "$artifacts")" ]; then
            failed+=("$target $step")
            tail -n 80 "$log"
            for crash in "$artifacts"/*; do
                [ -f "$crash" ] || continue
                echo "-- reproducer $(basename "$crash") ($(stat -c %s "$crash") bytes), base64:"
                base64 "$crash"
            done
            break
        fi
    done
done <build/fuzz/fuzz/targets.txt
rm -rf "$runs/tmp"
if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzzing found something in: ${failed[*]}" >&2
    exit 1
fi
