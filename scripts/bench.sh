#!/usr/bin/env bash
# Runs every benchmark program of a build, shows its output, and records in bench/RESULTS.md
# the machine, the table of figures against their goals, and each program's full output.
# Programs report table rows as lines "@row<TAB>item<TAB>measurement<TAB>figure<TAB>goal<TAB>result".
# Usage: scripts/bench.sh [build-dir]   (default: build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build}
case $build in /*) ;; *) build=$root/$build ;; esac

shopt -s nullglob
programs=("$build"/bin/bench_*)
if [ ${#programs[@]} -eq 0 ]; then
  echo "No benchmark programs in $build/bin: configure with -DTOLVANE_WITH_BENCH=ON and build." >&2
  exit 1
fi

cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n1)
memory=$(awk '/^MemTotal:/ { printf "%.1f GiB", $2 / 1048576 }' /proc/meminfo)
build_type=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build/CMakeCache.txt" 2>/dev/null || true)
results=$root/bench/RESULTS.md
rows=$(mktemp)
details=$(mktemp)
trap 'rm -f "$rows" "$details"' EXIT

status=0
for program in "${programs[@]}"; do
  name=$(basename "$program")
  echo "== $name"
  if ! output=$("$program" 2>&1); then
    echo "$name failed" >&2
    printf '@row\t-\t%s\tfailed: see its output\t-\tNOT met\n' "$name" >>"$rows"
    status=1
  fi
  grep -v '^@row' <<<"$output" || true
  grep '^@row' <<<"$output" >>"$rows" || true
  printf '\n### %s\n\n```\n%s\n```\n' "$name" "$(grep -v '^@row' <<<"$output")" >>"$details"
done

# The table in the order of the items; rows of one item keep the order they came in.
table=$(sort -t $'\t' -k2,2 -s "$rows" |
  awk -F '\t' 'BEGIN { print "| # | Measurement | Figure | Goal | Result |";
                       print "|---|---|---|---|---|" }
               { printf "| %s | %s | %s | %s | %s |\n", $2, $3, $4, $5, $6 }')
echo
echo "$table"

{
  echo "# Benchmark results"
  echo
  echo "- Date: $(date -u '+%Y-%m-%d %H:%M UTC')"
  echo "- Machine: ${cpu:-unknown CPU}, $(nproc) cores, ${memory}, $(uname -sr)"
  echo "- Build: ${build_type:-default} ($(c++ --version | head -n1))"
  echo "- Commit: $(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo unknown)"
  echo "- Load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
  echo
  echo "## Figures against their goals"
  echo
  echo "$table"
  if [ -f "$root/bench/NOTES.md" ]; then
    echo
    cat "$root/bench/NOTES.md"
  fi
  echo
  echo "## Output of each program"
  cat "$details"
} >"$results"
echo "Results written to $results"
exit $status
