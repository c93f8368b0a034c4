#!/usr/bin/env bash
# Runs every fuzz target (tests/fuzz/*_fuzz.cpp) under libFuzzer for SECONDS each, one
# process at a time, and prints a table: target, runs, executions per second, corpus size,
# findings. Usage: tools/fuzz-campaign.sh SECONDS_PER_TARGET [target ...]
# The working corpus grows in build/fuzz/corpus/<target> (the seeds in tests/fuzz/corpus
# are read, never written); crashes and broken laws land in build/fuzz/findings/<target>.
# A finding, once fixed, is copied to tests/fuzz/regressions/<target> so the normal test
# run replays it.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:?usage: tools/fuzz-campaign.sh SECONDS_PER_TARGET [target ...]}
shift
cxx=${QV_FUZZ_CXX:-clang++-14}
build=build/fuzz

cmake -S . -B "$build" -DQV_FUZZ=ON -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$build" --target qv_fuzz_targets -j"$(nproc)" >/dev/null

if [ $# -gt 0 ]; then
  targets=("$@")
else
  mapfile -t targets < <(ls tests/fuzz/*_fuzz.cpp | xargs -n1 basename | sed 's/_fuzz\.cpp$//')
fi

# Two campaigns may run side by side (one core each) when each names its own table.
table=${QV_FUZZ_TABLE:-$build/campaign-table.txt}
printf '%-22s %12s %10s %8s %9s\n' target runs exec/s corpus findings >"$table"
for t in "${targets[@]}"; do
  corpus=$build/corpus/$t
  findings=$build/findings/$t
  log=$build/logs/$t.log
  mkdir -p "$corpus" "$findings" "$(dirname "$log")"
  : >"$log"
  runs=0
  found=0
  start=$(date +%s)
  # libFuzzer stops at the first finding; start it again on the time left so one fault does
  # not hide the next (at most three findings per target and run).
  while :; do
    left=$((seconds - ($(date +%s) - start)))
    [ "$left" -gt 0 ] || break
    status=0
    "$build/fuzz_$t" -max_total_time="$left" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$findings/" "$corpus" "tests/fuzz/corpus/$t" \
      >>"$log" 2>&1 || status=$?
    executed=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | tail -1 | grep -o '[0-9]*$' || true)
    runs=$((runs + ${executed:-0}))
    # Stats of this pass are counted; keep them from being counted again.
    sed -i 's/stat::number_of_executed_units/counted::number_of_executed_units/' "$log"
    [ "$status" -eq 0 ] && break
    found=$((found + 1))
    [ "$found" -lt 3 ] || break
  done
  elapsed=$(( $(date +%s) - start ))
  [ "$elapsed" -gt 0 ] || elapsed=1
  size=$(find "$corpus" "tests/fuzz/corpus/$t" -type f | wc -l)
  printf '%-22s %12d %10d %8d %9d\n' "$t" "$runs" $((runs / elapsed)) "$size" "$found" >>"$table"
  tail -1 "$table"
done
echo
cat "$table"
