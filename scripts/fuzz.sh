#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for the given number of seconds, each starting from
# its committed seed corpus plus what earlier runs in this build folder found. Prints the
# executions per target; fails, with the fuzzer's report, on the first crash.
set -euo pipefail
build=$(cd "${1:?fuzz build folder}" && pwd)
seconds=${2:?seconds per target}
root=$(cd "$(dirname "$0")/.." && pwd)
targets=(fuzz_link_rx fuzz_textbox_load fuzz_settings_file fuzz_settings_text fuzz_hex_reader
         fuzz_sim_protocol fuzz_serial_numbers)
# Longest input: past a text box line's 4096-byte cut, but the simulator's longest command is a
# 521-character record, and longer inputs only slow it down.
declare -A max_len=([fuzz_sim_protocol]=2048)

echo "Fuzzing each target for $seconds s:"
printf '%-22s %12s %10s\n' target executions exec/s
for t in "${targets[@]}"; do
  work="$build/corpus/$t"
  log="$build/$t.log"
  mkdir -p "$work"
  if ! (cd "$build" && UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
        "bin/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -max_len="${max_len[$t]:-8192}" -print_final_stats=1 -artifact_prefix="$t-" \
        "corpus/$t" "$root/fuzz/corpus/$t" \
        >"$log" 2>&1); then
    tail -n 60 "$log" >&2
    echo "fuzz target $t failed; its input is in $build/$t-*" >&2
    exit 1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  printf '%-22s %12s %10s\n' "$t" "$runs" "$rate"
done
