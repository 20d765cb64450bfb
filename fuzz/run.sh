#!/usr/bin/env bash
# Runs every fuzz target for <seconds> each, starting from a copy of its seed corpus (the
# repository is not written), and prints one line per target: executions, executions per second,
# findings and slow units. Findings (crashes, leaks, broken invariants, timeouts) and the log of
# their target are kept in a directory the summary names; the exit status is 1 when there is any.
# FUZZ_TARGETS picks targets (default: all five); FUZZ_RUNS also stops a target after that many
# executions, whichever comes first (a long run: FUZZ_RUNS=10000000 fuzz/run.sh 3600);
# FUZZ_TIMEOUT is the wall time in seconds after which one input counts as hanging (default 30;
# raise it when the fuzzers share the machine with other work).
#
#   cmake --preset fuzz && cmake --build --preset fuzz --target fuzz_all && fuzz/run.sh 30
set -euo pipefail
seconds=${1:?usage: fuzz/run.sh <seconds> [build directory]}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${2:-$root/build/fuzz}
work=$(mktemp -d "${TMPDIR:-/tmp}/tavo-fuzz.XXXXXX")
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

total=0
for target in ${FUZZ_TARGETS:-dispatch conversion formatter json rpc}; do
  dir=$work/$target
  mkdir -p "$dir/corpus" "$dir/findings"
  cp "$root/fuzz/corpus/$target/"* "$dir/corpus/"
  start=$(date +%s)
  # Each run stops at its first finding or after the time given.
  "$build/fuzz/fuzz_$target" -max_total_time="$seconds" ${FUZZ_RUNS:+-runs="$FUZZ_RUNS"} -timeout="${FUZZ_TIMEOUT:-30}" -rss_limit_mb=4096 \
    -print_final_stats=1 -artifact_prefix="$dir/findings/" "$dir/corpus" >"$dir/log" 2>&1 || true
  elapsed=$(( $(date +%s) - start ))
  executions=$(awk '/stat::number_of_executed_units/ {print $2}' "$dir/log")
  executions=${executions:-0}
  # A slow unit (over 10 s) is kept for a look but is no failure: on a busy machine any unit may be.
  findings=$(find "$dir/findings" -type f -not -name 'slow-unit-*' | wc -l)
  slow=$(find "$dir/findings" -type f -name 'slow-unit-*' | wc -l)
  total=$((total + findings))
  printf '%-10s executions %10d  exec/s %7d  findings %d  slow units %d\n' "$target" \
    "$executions" $(( executions / (elapsed > 0 ? elapsed : 1) )) "$findings" "$slow"
  if ((findings + slow)); then
    find "$dir/findings" -type f -printf '           %p\n'
  else
    rm -rf "$dir"
  fi
done
if ((total)); then
  echo "findings and logs in $work"
  exit 1
fi
rmdir "$work" 2>/dev/null || echo "slow units and logs in $work"
