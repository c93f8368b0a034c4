#!/usr/bin/env bash
# Runs the fuzz targets (tests/fuzz/*_fuzz.cpp) under libFuzzer and prints a table: target,
# runs, executions per second, corpus size, findings.
#
#   tools/fuzz-campaign.sh SECONDS_PER_TARGET [target[:SECONDS] ...]
#
# A target named with :SECONDS runs that long instead of SECONDS_PER_TARGET, so a slow
# target can be given the time it needs. Environment:
#   QV_FUZZ_RUNS=N   stop a target once its runs reach N (a target already there is skipped)
#   QV_FUZZ_JOBS=N   run N targets at once (default 1)
# A campaign resumes the previous one: the working corpus grows in build/fuzz/corpus/<target>
# (the seeds in tests/fuzz/corpus are read, never written) and each target's totals (runs,
# seconds, findings) add up in build/fuzz/stats/<target>, so the table counts every campaign
# run in this build folder; remove build/fuzz/stats to count afresh. Crashes and broken laws
# land in build/fuzz/findings/<target>. A finding, once fixed, is copied to
# tests/fuzz/regressions/<target> so the normal test run replays it.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:?usage: tools/fuzz-campaign.sh SECONDS_PER_TARGET [target[:SECONDS] ...]}
shift
goal=${QV_FUZZ_RUNS:-0}
jobs=${QV_FUZZ_JOBS:-1}
cxx=${QV_FUZZ_CXX:-clang++-14}
build=build/fuzz

cmake -S . -B "$build" -DQV_FUZZ=ON -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$build" --target qv_fuzz_targets -j"$(nproc)" >/dev/null

if [ $# -gt 0 ]; then
  targets=("$@")
else
  mapfile -t targets < <(ls tests/fuzz/*_fuzz.cpp | xargs -n1 basename | sed 's/_fuzz\.cpp$//')
fi

# Totals of a target so far: runs seconds findings.
totals() {
  local file=$build/stats/$1
  if [ -f "$file" ]; then cat "$file"; else echo 0 0 0; fi
}

row() {
  local t=$1 runs secs found size
  read -r runs secs found < <(totals "$t")
  [ "$secs" -gt 0 ] || secs=1
  size=$(find "$build/corpus/$t" "tests/fuzz/corpus/$t" -type f 2>/dev/null | wc -l)
  printf '%-22s %12d %10d %8d %9d\n' "$t" "$runs" $((runs / secs)) "$size" "$found"
}

# One target for its time (or until its runs reach the goal); adds to its totals.
campaign() {
  local t=${1%%:*} limit=$seconds
  [ "$1" = "$t" ] || limit=${1#*:}
  local corpus=$build/corpus/$t findings=$build/findings/$t log=$build/logs/$t.log
  mkdir -p "$corpus" "$findings" "$build/logs" "$build/stats"
  : >"$log"
  local runs secs found start left status executed budget
  read -r runs secs found < <(totals "$t")
  start=$(date +%s)
  # libFuzzer stops at the first finding; start it again on the time left so one fault does
  # not hide the next (at most three findings per target and campaign).
  local passFindings=0
  while :; do
    left=$((limit - ($(date +%s) - start)))
    [ "$left" -gt 0 ] || break
    budget=()
    if [ "$goal" -gt 0 ]; then
      [ "$runs" -lt "$goal" ] || break
      budget=(-runs=$((goal - runs)))
    fi
    status=0
    "$build/fuzz_$t" -max_total_time="$left" "${budget[@]}" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$findings/" "$corpus" "tests/fuzz/corpus/$t" \
      >>"$log" 2>&1 || status=$?
    executed=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | tail -1 | grep -o '[0-9]*$' || true)
    runs=$((runs + ${executed:-0}))
    # Stats of this pass are counted; keep them from being counted again.
    sed -i 's/stat::number_of_executed_units/counted::number_of_executed_units/' "$log"
    [ "$status" -eq 0 ] && break
    found=$((found + 1))
    passFindings=$((passFindings + 1))
    [ "$passFindings" -lt 3 ] || break
  done
  secs=$((secs + $(date +%s) - start))
  echo "$runs $secs $found" >"$build/stats/$t"
  row "$t"
}

printf '%-22s %12s %10s %8s %9s\n' target runs exec/s corpus findings
running=0
for entry in "${targets[@]}"; do
  if [ "$jobs" -le 1 ]; then
    campaign "$entry"
    continue
  fi
  campaign "$entry" &
  running=$((running + 1))
  if [ "$running" -ge "$jobs" ]; then
    wait -n || true
    running=$((running - 1))
  fi
done
wait
echo
table=$build/campaign-table.txt
printf '%-22s %12s %10s %8s %9s\n' target runs exec/s corpus findings >"$table"
for entry in "${targets[@]}"; do row "${entry%%:*}" >>"$table"; done
cat "$table"
