#!/usr/bin/env bash
# tolvane-cli.exe under Wine against the simulated programmer, through the real Win32 serial
# calls: COM7 of the build's Wine prefix leads to the simulator's pseudo-terminal (wine.sh).
# Each command as a script would run it, with its exit status, output and the chip it leaves.
#   cli_end_to_end.sh BUILD TOLVANE_CLI_EXE HOST_BIN
# HOST_BIN holds the Linux build's tolvane-sim and tolvane-hexcmp.
set -uo pipefail
build=$(cd "$1" && pwd)
exe=$2
host_bin=$3
wine_sh=$(dirname "$0")/wine.sh
firmware=$build/firmware
port_link=$build/wine/com7
work=$(mktemp -d /tmp/tolvane-wine-XXXXXX)
failures=0
sim_pid=

stop_sim() {
  if [ -n "$sim_pid" ]; then
    kill -TERM "$sim_pid" 2>/dev/null
    wait "$sim_pid" 2>/dev/null
    sim_pid=
  fi
  rm -f "$port_link"
}
trap 'stop_sim; rm -rf "$work"' EXIT

# A simulated programmer behind COM7: sim CHIP [OPTIONS]
sim() {
  stop_sim
  "$host_bin/tolvane-sim" --no-publish --link "$port_link" --prog-ms 0 --chip "$@" \
    >"$work/sim.out" 2>&1 &
  sim_pid=$!
  for _ in $(seq 200); do [ -L "$port_link" ] && return; sleep 0.02; done
  echo "the simulator did not start: $(cat "$work/sim.out")" >&2
  exit 1
}

# Runs tolvane-cli.exe: its status in $status, standard output and error in $work/out, err.
cli() {
  "$wine_sh" "$build" "$exe" "$@" >"$work/out" 2>"$work/err"
  status=$?
}

fail() {
  echo "FAILED: $*" >&2
  echo "  stdout: $(head -c 600 "$work/out")" >&2
  echo "  stderr: $(head -c 600 "$work/err")" >&2
  failures=$((failures + 1))
}
expect_status() {  # expect_status CODE WHAT
  [ "$status" -eq "$1" ] || fail "$2: exit status $status, expected $1"
}
expect_err() {  # expect_err TEXT WHAT
  grep -qF -- "$1" "$work/err" || fail "$2: standard error lacks '$1'"
}
# Waits until the program in the background (PID) has shown TEXT on standard error, for as
# long as it runs: await_err PID TEXT
await_err() {
  while kill -0 "$1" 2>/dev/null; do
    grep -qF -- "$2" "$work/err" && return
    sleep 0.025
  done
}

# The port list comes from the registry, where Wine puts the mapped port.
cli ports
expect_status 0 "ports"
grep -qE '^COM7 +\\Device\\Serial6 ' "$work/out" || fail "ports: COM7 is not listed"

# A file's digest comes from Windows' CNG: the same as the Linux build's from OpenSSL.
cli info "$firmware/count877a.hex" --chip PIC16F877A
expect_status 0 "info"
digest=$("$host_bin/tolvane-cli" info "$firmware/count877a.hex" | grep '^SHA-256:')
grep -qxF -- "$digest" "$work/out" || fail "info: not the digest '$digest'"

sim PIC16F877A --baud 0
cli --port COM7 identify
expect_status 0 "identify"
[ "$(cat "$work/out")" = "PIC16F877A (ID word 0E28)" ] || fail "identify printed '$(cat "$work/out")'"

# Write with verify; then the chip, read to a file and to standard output, holds the image,
# byte for byte the same both ways (standard output takes no line-end translation).
cli --port COM7 write "$firmware/count877a.hex"
expect_status 0 "write"
expect_err "count877a.hex: written and verified, 89 locations" "write"
# An existing, longer file is replaced as a whole.
head -c 100000 /dev/zero | tr '\0' x >"$work/chip.hex"
cli --port COM7 --quiet read -o "$work/chip.hex"
expect_status 0 "read -o"
"$host_bin/tolvane-hexcmp" "$firmware/count877a.hex" "$work/chip.hex" >/dev/null ||
  fail "the chip read back does not hold count877a.hex"
cli --port COM7 read
expect_status 0 "read"
cmp -s "$work/out" "$work/chip.hex" || fail "read to standard output differs from read -o"
expect_err "Reading PIC16F877A: 100 %" "read's progress"
# The image from standard input, taken as bytes.
"$wine_sh" "$build" "$exe" --port COM7 --quiet verify - <"$firmware/count877a.hex" >"$work/out" 2>"$work/err"
status=$?
expect_status 0 "verify - from standard input"

cli --port COM7 blank-check
expect_status 1 "blank-check of a written chip"
cli --port COM7 erase
expect_status 0 "erase"
cli --port COM7 blank-check
expect_status 0 "blank-check after erase"

# Exit statuses from real causes.
cli --port COM9 identify
expect_status 4 "a port that is not there"
expect_err "COM9: no such port" "a port that is not there"
printf ':020000000528D1\n:02000200FF3FBF\n:00000001FF\n' >"$work/bad.hex"
cli --port COM7 write "$work/bad.hex"
expect_status 3 "a file that is not Intel HEX"
expect_err "bad.hex:2: checksum" "a file that is not Intel HEX"
cli --port COM7 --expect PIC16F84A identify
expect_status 5 "another chip than --expect names"
cli --port COM7 bogus
expect_status 2 "an unknown command"
cli --help
expect_status 0 "--help"
grep -qF "run on Linux only" "$work/out" || fail "--help does not say what stays on Linux"

# The zip's program, unpacked into a folder of its own, runs without further files and uses the
# port saved beside it.
if cpack -G ZIP --config "$build/CPackConfig.cmake" -B "$work/zip" >"$work/out" 2>"$work/err"; then
  (cd "$work/zip" && cmake -E tar xf tolvane-cli-*-windows-x86_64.zip)
  copy=$(echo "$work"/zip/tolvane-cli-*-windows-x86_64)
  [ -s "$copy/tolvane-cli.txt" ] || fail "the zip holds no manual"
  [ -s "$copy/LICENSE.txt" ] || fail "the zip holds no licence"
  printf 'COM7' >"$copy/Tolvane.ini"
  exe_built=$exe
  exe=$copy/tolvane-cli.exe
  cli identify
  expect_status 0 "the zip's program on the port saved beside it"
  exe=$exe_built
else
  fail "cpack made no zip"
fi

# The programmer goes (its line hangs up) while a chip is read at its own pace: the port's
# next status question fails, and the read ends with the port's status 4, not a time-out.
sim PIC16F877A
"$wine_sh" "$build" "$exe" --port COM7 read -o "$work/gone.hex" >"$work/out" 2>"$work/err" &
cli_pid=$!
await_err "$cli_pid" "Reading PIC16F877A: 10 %"
stop_sim
wait "$cli_pid"
status=$?
expect_status 4 "the programmer gone during a read"
expect_err "COM7: the port failed during the read" "the programmer gone during a read"
[ ! -e "$work/gone.hex" ] || fail "a read cut short left its file"

# Ctrl-C while a whole chip's image (the read above, 45 K characters) goes out at the
# programmer's own pace: the console's control handler stops the sending, the port is released,
# status 130; the programmer answers the next command at once.
sim PIC16F877A
"$wine_sh" "$build" "$exe" --port COM7 write --no-verify "$work/chip.hex" >"$work/out" 2>"$work/err" &
cli_pid=$!
await_err "$cli_pid" "Writing PIC16F877A: 10 %"
kill -INT "$cli_pid"
wait "$cli_pid"
status=$?
expect_status 130 "Ctrl-C during a write"
expect_err "interrupted" "Ctrl-C during a write"
cli --port COM7 identify
expect_status 0 "identify after Ctrl-C"

if [ "$failures" -ne 0 ]; then
  echo "$failures checks failed" >&2
  exit 1
fi
echo "tolvane-cli.exe under Wine: every check passed"
