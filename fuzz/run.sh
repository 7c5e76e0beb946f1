#!/bin/sh
# Generates the seed corpora and runs each fuzz target briefly, one after the other.
#   fuzz/run.sh <builddir>      (FUZZ_TIME overrides the 20 s per target)
# For longer campaigns with the targets side by side: fuzz/campaign.sh <seconds>.
set -eu
if [ $# -lt 1 ]; then
    echo "usage: $0 <builddir>" >&2
    exit 2
fi
build=$1
here=$(cd "$(dirname "$0")" && pwd)
time=${FUZZ_TIME:-20}
corpus="$build/fuzz-corpus"

"$build/fuzz/fuzz_pelseeds" "$corpus"
for seeder in "$build"/fuzz/fuzz_seeds_*; do
    [ -x "$seeder" ] && "$seeder" "$corpus"
done
summary=""
for bin in "$build"/fuzz/fuzz_*; do
    [ -x "$bin" ] || continue
    t=${bin##*/fuzz_}
    case $t in seeds_*|pelseeds) continue ;; esac
    work="$corpus/$t-new"
    mkdir -p "$work" "$corpus/$t"
    # Inputs that once failed are kept beside the sources and replayed first.
    if [ -d "$here/regressions/$t" ]; then
        "$build/fuzz/fuzz_$t" -runs=0 "$here/regressions/$t"
    fi
    log="$build/fuzz-$t.log"
    # Flags of the target's own (fuzz_<target>.options beside its source), if any.
    opts=$(cat "$here/fuzz_$t.options" 2>/dev/null || true)
    if ! "$build/fuzz/fuzz_$t" $opts -max_total_time="$time" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
        -print_final_stats=1 -artifact_prefix="$build/fuzz-$t-" "$work" "$corpus/$t" >"$log" 2>&1; then
        tail -n 60 "$log"
        echo "FAILED: fuzz_$t"
        exit 1
    fi
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
    summary="$summary fuzz_$t=${rate:-?}/s"
done
echo "executions per second:$summary"
