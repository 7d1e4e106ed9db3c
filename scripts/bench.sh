#!/usr/bin/env bash
# Runs every benchmark program of a build, shows its output and records it, with a description
# of the machine, in bench/RESULTS.md.
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
results=$root/bench/RESULTS.md
tmp=$(mktemp)
trap 'rm -f "$tmp"' EXIT
{
  echo "# Benchmark results"
  echo
  echo "- Date: $(date -u '+%Y-%m-%d %H:%M UTC')"
  echo "- Machine: ${cpu:-unknown CPU}, $(nproc) cores, $(uname -sr)"
  echo "- Commit: $(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo unknown)"
} >"$tmp"

status=0
for program in "${programs[@]}"; do
  name=$(basename "$program")
  echo "== $name"
  if ! output=$("$program" 2>&1); then
    echo "$name failed" >&2
    status=1
  fi
  echo "$output"
  printf '\n## %s\n\n```\n%s\n```\n' "$name" "$output" >>"$tmp"
done
mv "$tmp" "$results"
trap - EXIT
echo "Results written to $results"
exit $status
