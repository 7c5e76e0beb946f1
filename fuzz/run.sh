#!/bin/sh
# Generates the seed corpora and runs each fuzz target briefly, as many side by side as
# there are processors.
#   fuzz/run.sh <builddir>      (FUZZ_TIME overrides the 20 s per target)
# For longer campaigns with every target at once: fuzz/campaign.sh <seconds>.
set -eu
if [ $# -lt 1 ]; then
    echo "usage: $0 <builddir>" >&2
    exit 2
fi
build=$1
here=$(cd "$(dirname "$0")" && pwd)
time=${FUZZ_TIME:-20}
corpus="$build/fuzz-corpus"
jobs=$(nproc 2>/dev/null || echo 2)

"$build/fuzz/fuzz_pelseeds" "$corpus"
for seeder in "$build"/fuzz/fuzz_seeds_*; do
    [ -x "$seeder" ] && "$seeder" "$corpus"
done

# One target: regressions replayed first, then fuzzed; its status lands in <log>.status.
run_target() {
    t=$1
    log="$build/fuzz-$t.log"
    work="$corpus/$t-new"
    mkdir -p "$work" "$corpus/$t"
    status=0
    # Inputs that once failed are kept beside the sources and replayed first.
    if [ -d "$here/regressions/$t" ]; then
        "$build/fuzz/fuzz_$t" -runs=0 "$here/regressions/$t" >"$log.regressions" 2>&1 || status=1
    fi
    if [ $status -eq 0 ]; then
        # Flags of the target's own (fuzz_<target>.options beside its source), if any.
        opts=$(cat "$here/fuzz_$t.options" 2>/dev/null || true)
        "$build/fuzz/fuzz_$t" $opts -max_total_time="$time" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
            -print_final_stats=1 -artifact_prefix="$build/fuzz-$t-" "$work" "$corpus/$t" >"$log" 2>&1 || status=1
    fi
    echo $status >"$log.status"
}

targets=""
for bin in "$build"/fuzz/fuzz_*; do
    [ -x "$bin" ] || continue
    t=${bin##*/fuzz_}
    case $t in seeds_*|pelseeds) continue ;; esac
    targets="$targets $t"
done

running=0
for t in $targets; do
    rm -f "$build/fuzz-$t.log.status"
    run_target "$t" &
    running=$((running + 1))
    if [ $running -ge "$jobs" ]; then
        wait
        running=0
    fi
done
wait

failed=0
summary=""
for t in $targets; do
    log="$build/fuzz-$t.log"
    if [ "$(cat "$log.status" 2>/dev/null)" != 0 ]; then
        cat "$log.regressions" 2>/dev/null | tail -n 30
        tail -n 60 "$log" 2>/dev/null
        echo "FAILED: fuzz_$t"
        failed=1
        continue
    fi
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
    summary="$summary fuzz_$t=${rate:-?}/s"
done
echo "executions per second:$summary"
exit $failed
