#!/bin/sh
# Runs each fuzz target for the given seconds, one after the other, from the seed corpus in
# the repository; new inputs gather in <build>/corpus, anything that fails in <build>/findings.
# Usage: run.sh <fuzz build dir> <seconds per target> [target...]
set -u
build=$1 seconds=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)
targets=${*:-"appargs autostart georecord placements providerpayloads resolvconf settings widgetcache"}
mkdir -p "$build/findings"
failed=
for name in $targets; do
    mkdir -p "$build/corpus/$name"
    dict=
    case $name in
    georecord | placements | providerpayloads | settings | widgetcache) dict=$here/json.dict ;;
    autostart | resolvconf) dict=$here/$name.dict ;;
    esac
    echo "== fuzz_$name for ${seconds}s"
    # Files the targets write go to memory, not to disk.
    TMPDIR=/dev/shm "$build/bin/fuzz_$name" -max_total_time="$seconds" -timeout=10 \
        -rss_limit_mb=2048 -print_final_stats=1 ${dict:+-dict="$dict"} \
        -artifact_prefix="$build/findings/$name-" \
        "$build/corpus/$name" "$here/corpus/$name" 2>"$build/fuzz_$name.log" ||
        failed="$failed $name"
    grep -E '^(#[0-9]+.*DONE|stat::number_of_executed_units|stat::average_exec_per_sec)' \
        "$build/fuzz_$name.log"
done
if [ -n "$failed" ]; then
    echo "fuzzing found faults in:$failed (inputs in $build/findings, logs in $build/fuzz_*.log)"
    exit 1
fi
