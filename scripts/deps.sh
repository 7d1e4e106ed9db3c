#!/usr/bin/env bash
# Installs the Debian packages named on the command line that are not installed yet.
#
# Another package manager may hold the package system's locks, as a fresh desktop's automatic
# updates often do in its first minutes: apt then waits for them, up to APT_LOCK_WAIT seconds
# (default 600), rather than fail at once, and this script says whom it waits for.
set -euo pipefail
missing=()
for pkg in "$@"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$pkg" 2>/dev/null || true)
  [ "$status" = installed ] || missing+=("$pkg")
done
[ ${#missing[@]} -eq 0 ] && exit 0
if [ "$(id -u)" -ne 0 ]; then
  echo "Missing Debian packages: ${missing[*]}" >&2
  echo "Run: sudo apt-get install -y ${missing[*]}" >&2
  exit 1
fi
lock_wait=${APT_LOCK_WAIT:-600}
# The locks lie where apt's configuration puts them (APT_CONFIG may move them): the package
# lists' for an update, dpkg's for an installation.
eval "$(apt-config shell status Dir::State::status/f lists Dir::State::lists/d)"
lists_lock=${lists%/}/lock
dpkg_locks=("${status%/*}/lock-frontend" "${status%/*}/lock")

# Names the processes that hold any of the given locks, each once.
say_who_holds() {
  local -A said=()
  local pid path command lock
  while read -r pid path command; do
    for lock in "$@"; do
      if [ "$path" = "$lock" ] && [ -z "${said[$pid]:-}" ]; then
        said[$pid]=1
        echo "Waiting for $command (process $pid), which holds $lock; at most $lock_wait s"
      fi
    done
  done < <(lslocks --noheadings --raw --output PID,PATH,COMMAND 2>/dev/null)
}

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
say_who_holds "$lists_lock"
apt-get -o DPkg::Lock::Timeout="$lock_wait" update -qq
say_who_holds "${dpkg_locks[@]}"
apt-get -o DPkg::Lock::Timeout="$lock_wait" install -y -qq --no-install-recommends "${missing[@]}"
