#!/bin/sh
# Longer fuzzing: every target of a fuzz build side by side for the given time, each on its
# generated seed corpus, then a table of executions per second and what was found.
#   fuzz/campaign.sh <seconds> [builddir]     (builddir defaults to build/fuzz)
# Logs, corpora and findings stay in <builddir>/campaign/. Exits 1 when a target failed.
set -eu
if [ $# -lt 1 ]; then
    echo "usage: $0 <seconds> [builddir]" >&2
    exit 2
fi
seconds=$1
here=$(cd "$(dirname "$0")" && pwd)
build=${2:-$here/../build/fuzz}
out="$build/campaign"
corpus="$build/fuzz-corpus"
mkdir -p "$out"

"$build/fuzz/fuzz_pelseeds" "$corpus"
for seeder in "$build"/fuzz/fuzz_seeds_*; do
    [ -x "$seeder" ] && "$seeder" "$corpus"
done

targets=""
for bin in "$build"/fuzz/fuzz_*; do
    [ -x "$bin" ] || continue
    t=${bin##*/fuzz_}
    case $t in seeds_*|pelseeds) continue ;; esac
    targets="$targets $t"
done

pids=""
for t in $targets; do
    mkdir -p "$out/$t-corpus" "$corpus/$t"
    (
        # Inputs that once failed are replayed first.
        if [ -d "$here/regressions/$t" ]; then
            "$build/fuzz/fuzz_$t" -runs=0 "$here/regressions/$t" >"$out/$t-regressions.log" 2>&1 || exit 1
        fi
        # Processor seconds beside the wall-clock rate: the machine may be shared.
        timer=""
        [ -x /usr/bin/time ] && timer="/usr/bin/time -o $out/$t.time -f %U+%S"
        # Flags of the target's own (fuzz_<target>.options beside its source), if any.
        opts=$(cat "$here/fuzz_$t.options" 2>/dev/null || true)
        exec $timer "$build/fuzz/fuzz_$t" $opts -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
            -print_final_stats=1 -artifact_prefix="$out/$t-" "$out/$t-corpus" "$corpus/$t" >"$out/$t.log" 2>&1
    ) &
    pids="$pids $!"
done

status=0
set -- $targets
for pid in $pids; do
    t=$1
    shift
    if ! wait "$pid"; then
        status=1
        echo "FAILED: fuzz_$t (see $out/$t.log)"
    fi
done

printf '%-14s %12s %10s %14s %s\n' target executions exec/s "exec/cpu-s" findings
for t in $targets; do
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$out/$t.log" | tail -n 1)
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$out/$t.log" | tail -n 1)
    cpu=$(tail -n 1 "$out/$t.time" 2>/dev/null || true)
    perCpu="?"
    if [ -n "$runs" ] && [ -n "$cpu" ]; then
        perCpu=$(awk -v r="$runs" -v c="$cpu" 'BEGIN { split(c, p, "+"); s = p[1] + p[2]; if (s > 0) printf "%d", r / s; else print "?" }')
    fi
    found=$(ls "$out" | grep -c "^$t-\(crash\|leak\|timeout\|oom\|slow-unit\)-" || true)
    printf '%-14s %12s %10s %14s %s\n' "$t" "${runs:-?}" "${rate:-?}" "$perCpu" "$found"
done
exit $status
