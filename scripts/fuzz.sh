#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build, one after the other, each starting from its committed
# seed corpus plus what earlier runs in this build folder found.
#
#   scripts/fuzz.sh BUILD SECONDS [RUNS]
#
# Each target runs for SECONDS, or until it has made RUNS executions when that comes first.
# Prints each target's executions, its seconds (on the clock and on the processor: a busy
# machine gives it less than the clock's) and executions per second, and with RUNS whether it
# reached them; fails, with the fuzzer's report, on the first crash.
#
# The targets are the files fuzz/fuzz_*.cpp, each built as bin/<name> (fuzz/CMakeLists.txt)
# and seeded from fuzz/corpus/<name>/; FUZZ_TARGETS="fuzz_a fuzz_b" runs only those. A new
# target needs nothing here unless it wants an input length of its own below.
set -euo pipefail
build=$(cd "${1:?fuzz build folder}" && pwd)
seconds=${2:?seconds per target}
runs=${3:-0}
root=$(cd "$(dirname "$0")/.." && pwd)
targets=()
for source in "$root"/fuzz/fuzz_*.cpp; do
  name=${source##*/}
  targets+=("${name%.cpp}")
done
if [ -n "${FUZZ_TARGETS:-}" ]; then read -r -a targets <<<"$FUZZ_TARGETS"; fi
# Longest input: past a text box line's 4096-byte cut, but the simulator's longest command is a
# 521-character record, and longer inputs only slow it down.
declare -A max_len=([fuzz_sim_protocol]=2048)

if [ "$runs" -gt 0 ]; then
  echo "Fuzzing each target for $runs executions, at most $seconds s:"
else
  echo "Fuzzing each target for $seconds s:"
fi
printf '%-22s %12s %9s %9s %9s\n' target executions seconds cpu-s exec/s
TIMEFORMAT='%R %U %S'  # the target's seconds: on the clock, in user and in system mode
short=()
for t in "${targets[@]}"; do
  mkdir -p "$build/corpus/$t"
  log="$build/$t.log"
  # A unit that runs for two minutes hangs; less would take a starved run (nice, on a busy
  # machine) for a hang.
  if ! took=$( { time (cd "$build" && UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
        "bin/$t" -max_total_time="$seconds" -runs="$((runs > 0 ? runs : -1))" -timeout=120 \
        -rss_limit_mb=2048 -max_len="${max_len[$t]:-8192}" -print_final_stats=1 \
        -artifact_prefix="$t-" "corpus/$t" "$root/fuzz/corpus/$t" >"$log" 2>&1); } 2>&1); then
    tail -n 60 "$log" >&2
    echo "fuzz target $t failed; its input is in $build/$t-*" >&2
    exit 1
  fi
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  awk -v t="$t" -v n="$executions" -v took="$took" 'BEGIN {
    split(took, s, " ")
    printf "%-22s %12d %9.0f %9.0f %9.0f\n", t, n, s[1], s[2] + s[3], n / (s[1] > 0 ? s[1] : 1)
  }'
  if [ "$runs" -gt 0 ] && [ "$executions" -lt "$runs" ]; then short+=("$t"); fi
done
if [ "$runs" -gt 0 ]; then
  if [ ${#short[@]} -eq 0 ]; then
    echo "Every target reached $runs executions."
  else
    echo "Short of $runs executions within $seconds s: ${short[*]}"
  fi
fi
