#!/usr/bin/env bash
# Builds the fuzz preset and runs each fuzz target for MINUTES minutes (default 10), one after
# the other, with the dictionary. New inputs are merged into build/fuzz-runs/corpus/<target>
# (never into the tree: copy the ones worth keeping into fuzz/corpus/ by hand); crashes,
# timeouts and slow inputs go to build/fuzz-runs/artifacts/<target>/, and the inputs of jobs the
# watchdog had to cancel to build/fuzz-runs/hangs/<target>/. Ends with exec/s, coverage and
# corpus size per target.
#
# Every CI run fuzzes each target for 30 seconds (fuzz/ci.sh, from scripts/test); this script is
# for the longer runs, e.g. `fuzz/run.sh 60` before a release or after a change to a reader.
#
# Usage: fuzz/run.sh [MINUTES] [TARGET...]     targets: tiff job_file encoder ... (default: all)
#   KEEP_GOING=1   go on past crashes and timeouts (libFuzzer fork mode, one worker)
#   HANG_ABORT=1   a job the watchdog must cancel is a crash (once the final attempts all end)
set -euo pipefail
cd "$(dirname "$0")/.."

minutes=${1:-10}
[ $# -gt 0 ] && shift
targets=("$@")

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j2
# By default every target the build defines (build/fuzz/fuzz/targets.txt, "fuzz_<input> PROGRAM").
[ ${#targets[@]} -eq 0 ] && mapfile -t targets < <(sed -E 's/^fuzz_([^ ]+) .*/\1/' \
    build/fuzz/fuzz/targets.txt)

runs=build/fuzz-runs
mkdir -p "$runs/tmp"
summary=()
for t in "${targets[@]}"; do
    corpus=$runs/corpus/$t
    artifacts=$runs/artifacts/$t
    hangs=$runs/hangs/$t
    log=$runs/$t.log
    mkdir -p "$corpus" "$artifacts" "$hangs"
    # Timeouts sit above the targets' own watchdogs (10 s; 30 s for the encoder's full frames).
    timeout=30
    [ "$t" = encoder ] && timeout=90
    args=(-max_total_time=$((minutes * 60)) -dict=fuzz/pictor.dict -timeout=$timeout
          -rss_limit_mb=3072 -report_slow_units=5 -close_fd_mask=1 -print_final_stats=1
          -artifact_prefix="$artifacts/")
    # As in ci.sh: libvips's worker threads and LeakSanitizer's checks between inputs.
    [ "$t" = picture_front ] && args+=(-detect_leaks=0)
    if [ "${KEEP_GOING:-0}" = 1 ]; then
        args+=(-fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1)
    fi
    echo "== fuzz_$t for $minutes min (log: $log)"
    start=$(date +%s)
    status=0
    TMPDIR=$runs/tmp PICTOR_FUZZ_HANG_DIR=$hangs PICTOR_FUZZ_HANG_ABORT=${HANG_ABORT:-0} \
        build/fuzz/fuzz/fuzz_"$t" "${args[@]}" "$corpus" fuzz/corpus/"$t" >"$log" 2>&1 || status=$?
    seconds=$(($(date +%s) - start))
    # The last status line of either mode: "... cov: N ft: N corp: N/..b ... exec/s: N ..." or,
    # in fork mode, "#N: cov: N ft: N corp: N exec/s N ...".
    last=$(grep -E '(^#[0-9]+.*cov: [0-9]+)' "$log" | tail -1 || true)
    cov=$(sed -nE 's/.*cov: ([0-9]+).*/\1/p' <<<"$last")
    corp=$(sed -nE 's/.*corp: ([0-9]+).*/\1/p' <<<"$last")
    execs=$(sed -nE 's/.*exec\/s:? ([0-9]+).*/\1/p' <<<"$last")
    # Over the whole run: libFuzzer's own average, or (fork mode) executions over seconds.
    avg=$(sed -nE 's/^stat::average_exec_per_sec: *([0-9]+)/\1/p' "$log" | tail -1)
    total=$(sed -nE 's/^#([0-9]+).*/\1/p' <<<"$last")
    forked=$(sed -nE 's/.* time: ([0-9]+)s.*/\1/p' <<<"$last")
    if [ -n "$avg" ]; then
        execs=$avg
    elif [ -n "$total" ] && [ -n "$forked" ] && [ "$forked" -gt 0 ]; then
        execs=$((total / forked))
    fi
    files=$(find "$corpus" -type f | wc -l)
    found=$(find "$artifacts" -type f | wc -l)
    cancelled=$(find "$hangs" -type f | wc -l)
    summary+=("$(printf '%-9s %5ss exec/s %-5s cov %-5s corpus %-5s (%s new files) artifacts %s watchdog %s exit %s' \
        "$t" "$seconds" "${execs:-?}" "${cov:-?}" "${corp:-?}" "$files" "$found" "$cancelled" "$status")")
    echo "${summary[-1]}"
done
rm -rf "$runs/tmp"
echo
echo "== summary"
printf '%s\n' "${summary[@]}"
