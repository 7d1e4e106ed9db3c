#!/usr/bin/env bash
# scripts/deps.sh while another package manager holds the package lock: it says whom it waits
# for, waits, and goes on once the lock is free. apt runs on a package system of the test's own
# (APT_CONFIG), with no sources, so nothing is downloaded or installed; dpkg holds that system's
# locks, as it does while it works, for as long as the test keeps its input open.
#   deps_test.sh DEPS_SH
# Needs root, as deps.sh installs only then; skipped otherwise (status 77).
set -euo pipefail
deps=$1
[ "$(id -u)" -eq 0 ] || { echo "deps test: needs root"; exit 77; }
for tool in apt-get dpkg lslocks; do
  command -v "$tool" >/dev/null || { echo "deps test: no $tool"; exit 77; }
done
work=$(mktemp -d /tmp/tolvane-deps-XXXXXX)
dpkg_pid=
deps_pid=
cleanup() {
  exec 3>&- 2>/dev/null || true
  for pid in $deps_pid $dpkg_pid; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "deps test: $*" >&2
  [ ! -f "$work/deps.log" ] || cat "$work/deps.log" >&2
  exit 1
}

admin=$work/dpkg
mkdir -p "$admin/info" "$admin/updates" "$work/parts" "$work/sources.d" "$work/state/lists/partial" \
  "$work/cache/archives/partial" "$work/log"
touch "$admin/status" "$admin/available" "$work/sources.list"
cat >"$work/apt.conf" <<EOF
Dir::Etc::parts "$work/parts";
Dir::Etc::sourcelist "$work/sources.list";
Dir::Etc::sourceparts "$work/sources.d";
Dir::State "$work/state";
Dir::State::status "$admin/status";
Dir::Cache "$work/cache";
Dir::Log "$work/log";
EOF
export APT_CONFIG=$work/apt.conf

mkfifo "$work/selections"
dpkg --admindir="$admin" --set-selections <"$work/selections" &
dpkg_pid=$!
exec 3>"$work/selections"
for _ in $(seq 100); do
  lslocks --noheadings --raw --output PATH | grep -qxF "$admin/lock-frontend" && break
  sleep 0.05
done
lslocks --noheadings --raw --output PATH | grep -qxF "$admin/lock-frontend" ||
  fail "dpkg did not take its lock"

# A package that exists nowhere: deps.sh takes it for missing and asks apt for it.
APT_LOCK_WAIT=60 "$deps" tolvane-no-such-package >"$work/deps.log" 2>&1 3>&- &
deps_pid=$!
said="Waiting for dpkg (process $dpkg_pid), which holds $admin/lock-frontend"
for _ in $(seq 200); do
  grep -qF "$said" "$work/deps.log" && break
  kill -0 "$deps_pid" 2>/dev/null || break
  sleep 0.05
done
grep -qF "$said" "$work/deps.log" || fail "deps.sh did not say whom it waits for"
sleep 0.5
kill -0 "$deps_pid" 2>/dev/null || fail "deps.sh did not wait for the lock"

exec 3>&-  # dpkg reads to the end of its input, lets its lock go and ends
wait "$dpkg_pid" || fail "dpkg failed"
dpkg_pid=
status=0
wait "$deps_pid" || status=$?
deps_pid=
# Past the lock, apt looks for the package and finds none.
grep -q "Unable to locate package tolvane-no-such-package" "$work/deps.log" ||
  fail "deps.sh did not go on once the lock was free (status $status)"
echo "deps test: deps.sh waited for dpkg's lock and went on"
