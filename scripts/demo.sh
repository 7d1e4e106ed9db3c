#!/usr/bin/env bash
# make demo: the program against the simulated Tolvane II programmer.
#   With a display, the window opens connected to it. Without one, the bundled firmware is
#   flashed unattended and the chip's contents are compared with the file.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
bin=$(cd "$BUILD/bin" && pwd)
firmware=$(cd "$BUILD/firmware" && pwd)/count877a.hex
chip=PIC16F877A
for f in "$bin/tolvane" "$bin/tolvane-sim" "$bin/tolvane-hexcmp" "$firmware"; do
  [ -e "$f" ] || { echo "demo: $f is missing; run 'make build' first" >&2; exit 1; }
done

work=$(mktemp -d /tmp/tolvane-demo-XXXXXX)
sim_pid=
stop_simulator() {
  if [ -n "$sim_pid" ]; then
    kill -TERM "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
    sim_pid=
  fi
}
trap 'stop_simulator; rm -rf "$work"' EXIT
trap 'exit 130' INT TERM

display=${DISPLAY:-}${WAYLAND_DISPLAY:-}
# The simulated programmer, announced only in a folder of the demo's own, where the program's
# port list finds it. With a display its chip starts with the firmware in it, so that a read
# shows something; without one the chip starts blank. It writes the chip's contents to
# chip.hex when it stops.
export TOLVANE_SIM_DIR="$work/ports"
mkdir "$TOLVANE_SIM_DIR"
sim_args=(--chip "$chip" --dump "$work/chip.hex")
if [ -n "$display" ]; then sim_args+=(--load "$firmware"); fi
"$bin/tolvane-sim" "${sim_args[@]}" >"$work/sim.out" 2>"$work/sim.err" &
sim_pid=$!
port="$TOLVANE_SIM_DIR/ttySIM$sim_pid"
for _ in $(seq 50); do [ -L "$port" ] && break; sleep 0.1; done
[ -L "$port" ] || { cat "$work/sim.err" >&2; echo "demo: the simulator did not start" >&2; exit 1; }

# The program keeps its port in Tolvane.ini beside its executable: a copy of it in the demo
# folder starts on the simulator's port and leaves the build's own settings alone.
cp "$bin/tolvane" "$work/tolvane"
printf '%s' "$port" >"$work/Tolvane.ini"

if [ -n "$display" ]; then
  echo "The window is connected to a simulated $chip on $port."
  echo "Its chip holds $firmware. Try Read, Erase, Load from File and Write, Identify, and a"
  echo "click on the status bar."
  echo "Close the window to end the demo."
  "$work/tolvane" || true
else
  echo "No display: flashing $firmware into a simulated $chip unattended..."
  status=0
  if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    export XDG_RUNTIME_DIR="$work/runtime"
    mkdir -m 700 "$XDG_RUNTIME_DIR"
  fi
  QT_QPA_PLATFORM=offscreen timeout 120 "$work/tolvane" "$firmware" || status=$?
  [ "$status" -eq 0 ] || { echo "demo: the program ended with status $status" >&2; exit 1; }
  echo "The program has sent the file and ended by itself."
fi

stop_simulator
[ -s "$work/chip.hex" ] || { echo "demo: the simulator left no dump" >&2; exit 1; }
echo
echo "The simulated $chip now holds (records of blank memory left out):"
grep -v -E '^:10[0-9A-F]{4}00((FF3F){8}|(FF00){8})[0-9A-F]{2}.?$' "$work/chip.hex" | sed 's/\r$//'
echo
if [ -n "$display" ]; then
  # What was written by hand is the user's business: compare only to tell.
  "$bin/tolvane-hexcmp" "$firmware" "$work/chip.hex" || true
else
  "$bin/tolvane-hexcmp" "$firmware" "$work/chip.hex"
fi
