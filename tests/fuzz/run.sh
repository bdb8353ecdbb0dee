#!/bin/sh
build=$1 seconds=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)
failed=
for name in ${*:-appargs autostart placements providerpayloads resolvconf settings widgetcache}; do
    mkdir -p "$build/corpus/$name" "$build/findings"
    echo "== fuzz_$name for ${seconds}s"
    # No allocation stacks: storing every one, ever new through Qt's frames, grew the sanitizer's
    # stack store until it took most of the time. A finding run on its own shows them again.
    ASAN_OPTIONS=${ASAN_OPTIONS:-malloc_context_size=0} TMPDIR=/dev/shm "$build/bin/fuzz_$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -dict="$here/$name.dict" -artifact_prefix="$build/findings/$name-" \
        "$build/corpus/$name" "$here/corpus/$name" 2>"$build/fuzz_$name.log" || failed="$failed $name"
    grep -E '^(#[0-9]+.*DONE|stat::number_of_executed_units|stat::average_exec_per_sec)' "$build/fuzz_$name.log"
done
[ -z "$failed" ] || { echo "faults found by:$failed (inputs in $build/findings, logs $build/fuzz_*.log)"; exit 1; }
