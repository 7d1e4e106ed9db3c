#!/usr/bin/env bash
# The Debian package as a user gets it: made by CPack, checked by lintian, unpacked (never
# installed into the machine), and its programs run from there with a home folder of their
# own: the window writes the example firmware into a simulated programmer unattended, reading
# its port from the settings file in that home, and writes nothing beside itself.
#   package_test.sh BUILD_DIR TOLVANE_HEXCMP
set -euo pipefail
build=$1
hexcmp=$2
work=$(mktemp -d /tmp/tolvane-package-XXXXXX)
sim_pid=
cleanup() {
  if [ -n "$sim_pid" ]; then
    kill -TERM "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "package test: $*" >&2
  exit 1
}

# The programs' version, and the package's with its Debian revision.
config() { sed -n "s/^set($1 \"\\(.*\\)\")\$/\\1/p" "$build/CPackConfig.cmake"; }
version=$(config CPACK_PACKAGE_VERSION)
package_version=$version-$(config CPACK_DEBIAN_PACKAGE_RELEASE)
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log" >&2; fail "cpack failed"; }
deb=$work/out/tolvane_${package_version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || fail "cpack made no $(basename "$deb")"
lint=$(lintian --fail-on error,warning "$deb" 2>&1) || fail "lintian reports: $lint"

root=$work/root
dpkg-deb -x "$deb" "$root"
bin=$root/usr/bin
share=$root/usr/share
for program in tolvane tolvane-sim; do [ -x "$bin/$program" ] || fail "no $program"; done

# Each program answers --version without a display, and has a manual page that man shows
# without warnings.
for program in "$bin"/*; do
  name=$(basename "$program")
  out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$program" --version) ||
    fail "$name --version failed"
  [ "$out" = "$name $version" ] || fail "$name --version printed '$out'"
  page=$share/man/man1/$name.1.gz
  [ -f "$page" ] || fail "no manual page for $name"
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man $name: $warnings"
done
# The documentation: the README, and a changelog whose latest entry is this package.
[ -f "$share/doc/tolvane/README.md.gz" ] || fail "no README in the documentation folder"
entry=$(zcat "$share/doc/tolvane/changelog.Debian.gz" | head -n 1)
[[ $entry == "tolvane ($package_version) "* ]] || fail "the changelog's latest entry is '$entry'"
desktop-file-validate "$share"/applications/*.desktop || fail "desktop entry"
appstreamcli validate --no-net "$share"/metainfo/*.metainfo.xml >/dev/null ||
  { appstreamcli validate --no-net "$share"/metainfo/*.metainfo.xml >&2; fail "AppStream file"; }

# The simulated programmer, reachable only through a link the settings file names.
export TOLVANE_SIM_DIR=$work/ports
mkdir "$TOLVANE_SIM_DIR"
"$bin/tolvane-sim" --chip PIC16F877A --no-publish --link "$work/programmer" \
  --dump "$work/chip.hex" >"$work/sim.out" 2>"$work/sim.err" &
sim_pid=$!
for _ in $(seq 100); do [ -L "$work/programmer" ] && break; sleep 0.05; done
[ -L "$work/programmer" ] || { cat "$work/sim.err" >&2; fail "the simulator did not start"; }

home=$work/home
mkdir -p "$home/.config/tolvane" "$work/runtime"
chmod 700 "$work/runtime"
settings=$home/.config/tolvane/Tolvane.ini
printf '%s' "$work/programmer" >"$settings"
run() {
  env -u XDG_CONFIG_HOME HOME="$home" XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=offscreen \
    "$@"
}
listing() { (cd "$root" && find . -printf '%M %s %T@ %p\n' | sort); }
before=$(listing)

run "$bin/tolvane" --help | grep -qxF "Settings (the last used port): $settings" ||
  fail "tolvane --help names another settings file: $(run "$bin/tolvane" --help | grep Settings)"
firmware=$share/tolvane/firmware/count877a.hex
status=0
run timeout 60 "$bin/tolvane" "$firmware" >"$work/tolvane.log" 2>&1 || status=$?
[ "$status" -eq 0 ] || { cat "$work/tolvane.log" >&2; fail "the unattended write ended with $status"; }
[ "$(listing)" = "$before" ] || fail "the program wrote beside itself: $(diff <(echo "$before") <(listing))"
[ "$(cat "$settings")" = "$work/programmer" ] || fail "the settings file changed"

kill -TERM "$sim_pid"
wait "$sim_pid" || fail "the simulator ended badly"
sim_pid=
"$hexcmp" "$firmware" "$work/chip.hex" >/dev/null || fail "the chip does not hold $firmware"
echo "package test: $(basename "$deb") builds, unpacks, validates and writes the example firmware"
