#!/usr/bin/env bash
# Runs the cross build's Windows programs under Wine, in one prefix of the build folder's own
# (BUILD/wine/prefix, removed with the build folder).
#
#   wine.sh BUILD --setup      make the prefix once, map COM7 to BUILD/wine/com7, start the
#                              prefix's server for the whole run
#   wine.sh BUILD --cleanup    end the server and every Wine process of the prefix
#   wine.sh BUILD PROGRAM ARGS run a program (the tests' emulator)
#
# COM7 stands for whatever BUILD/wine/com7 links to: a test points it at a simulated
# programmer's pseudo-terminal. Wine's serial code needs modem lines a pseudo-terminal lacks;
# the preloaded shim (BUILD/wine/pty_shim.so) answers for them.
set -euo pipefail
build=$(cd "$1" && pwd)
shift
dir=$build/wine
wine=${TOLVANE_WINE64:-/usr/lib/wine/wine64}
server=${TOLVANE_WINESERVER:-/usr/lib/wine/wineserver64}

export WINEPREFIX=$dir/prefix WINEARCH=win64 WINEDEBUG=-all
# No windows, no offer to install Mono or Gecko, no desktop menu entries.
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
unset DISPLAY WAYLAND_DISPLAY
export LD_PRELOAD=$dir/pty_shim.so${LD_PRELOAD:+:$LD_PRELOAD}

case "${1:-}" in
--setup)
  # A server started by a test would keep ctest's output pipe open until it ends, so it is
  # started here, detached, for the whole run (it ends by itself a while after the last
  # program). Making a prefix takes about ten seconds; it stays for the next run.
  if [ ! -f "$WINEPREFIX/.tolvane-ready" ]; then
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    "$wine" wineboot -i </dev/null >/dev/null 2>&1
    "$wine" reg add 'HKLM\Software\Wine\Ports' /v COM7 /d "$dir/com7" /f </dev/null >/dev/null 2>&1
    # The port mapping is read when the prefix's devices start.
    "$server" -k 2>/dev/null || true
    "$server" -w
    touch "$WINEPREFIX/.tolvane-ready"
  fi
  setsid "$server" -p60 </dev/null >/dev/null 2>&1 || true  # or already running
  "$wine" cmd /c exit </dev/null >/dev/null 2>&1
  ;;
--cleanup)
  "$server" -k 2>/dev/null || true
  "$server" -w 2>/dev/null || true
  ;;
*)
  exec "$wine" "$@"
  ;;
esac
