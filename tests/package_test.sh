#!/usr/bin/env bash
# Checks a built tarniks .deb: what it holds, and where its panel and simulator, run from a scratch
# unpacking as they run from /usr, keep their files. With CI=true it is also installed with apt, the
# installed panel is started under a virtual X server, and it is purged again, also when a check fails.
# Usage: tests/package_test.sh path/to/tarniks_<version>_<arch>.deb
set -euo pipefail

deb=$(realpath "${1:?usage: $0 tarniks_<version>_<arch>.deb}")
work=$(mktemp -d /tmp/tarniks-package.XXXXXX)
root="$work/root"
installed=false   # true while this script's install of the package is on the machine
sudo=$([ "$(id -u)" -eq 0 ] || echo sudo)
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
purge() {
  installed=false
  if dpkg-query -W tarniks >/dev/null 2>&1; then
    DEBIAN_FRONTEND=noninteractive $sudo apt-get purge -y -qq tarniks >"$work/purge.out" 2>&1 ||
      fail "apt-get purge tarniks: $(cat "$work/purge.out")"
  fi
}
cleanup() {
  jobs -p | xargs -r kill 2>/dev/null || true
  wait || true
  if $installed; then purge; fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM   # so that an interrupted run also purges what it installed

dpkg-deb -x "$deb" "$root"
listing=$(dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|')
expected=(/usr/bin/TarnikS /usr/bin/TarnikSim /usr/share/applications/tarniks.desktop
  /usr/share/doc/tarniks/{copyright,changelog.gz,TarnikSim.txt} /usr/share/man/man1/{TarnikS,TarnikSim}.1.gz)
for size in 16 32 48 64 128 256; do
  expected+=("/usr/share/icons/hicolor/${size}x${size}/apps/tarniks.png")
  file -b "$root${expected[-1]}" | grep -q "^PNG image data, $size x $size," || fail "${expected[-1]} is no ${size}x${size} PNG"
done
for path in "${expected[@]}"; do grep -qx "$path" <<<"$listing" || fail "missing $path"; done
if stray=$(grep -v -e '^/usr/bin/' -e '^/usr/share/' -e '/$' <<<"$listing"); then fail "files outside /usr/bin and /usr/share: $stray"; fi
# Qt loads its platform plugin at start-up; no library links it, so only an explicit entry pulls it in.
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6widgets6 qt6-qpa-plugins; do grep -q "\b$lib\b" <<<"$depends" || fail "Depends lacks $lib: $depends"; done

entry="$root/usr/share/applications/tarniks.desktop"
if ! out=$(desktop-file-validate "$entry" 2>&1) || [ -n "$out" ]; then fail "desktop entry: $out"; fi
[ -x "$root/usr/bin/$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")" ] || fail "the desktop entry's Exec is not installed"
grep -qx 'Icon=tarniks' "$entry" || fail "the desktop entry does not name the tarniks icon"

# Starts panel $1 (with the environment given after $2, through ${launch[@]} if set) and waits until
# it has written its settings and its log in $2 and, on an X display, shows its window; then stops it.
launch=()
run_panel() {
  local exe=$1 data=$2; shift 2
  # shellcheck disable=SC2016   # expanded by the shell that runs the panel
  if ! env "$@" XDG_RUNTIME_DIR="$work/runtime" "${launch[@]}" sh -c '"$0" & panel=$!
    for _ in $(seq 600); do
      if grep -qs "^ExpanderDlg=0" "$1/System.cfg" && grep -qs "TarnikS started" "$1/TarnikS_log.txt" &&
         { [ -z "${DISPLAY:-}" ] || xwininfo -name "Tarnik S4" 2>/dev/null | grep -q IsViewable; }; then
        kill -TERM $panel || exit 1; wait $panel; exit 0
      fi
      kill -0 $panel 2>/dev/null || exit 1
      sleep 0.05
    done
    kill -KILL $panel; exit 1' "$exe" "$data" >"$work/panel.out" 2>&1; then
    fail "$exe did not write its files in $data${launch:+ or show its window}: $(cat "$work/panel.out")"
  fi
}
mkdir -p "$work/home" "$work/runtime"
chmod 700 "$work/runtime"
before=$(cd "$root" && find . -printf '%p %y %s %T@\n' | sort)
run_panel "$root/usr/bin/TarnikS" "$work/xdg/TarnikS" HOME="$work/home" XDG_CONFIG_HOME="$work/xdg" QT_QPA_PLATFORM=offscreen
run_panel "$root/usr/bin/TarnikS" "$work/home2/.config/TarnikS" -u XDG_CONFIG_HOME HOME="$work/home2" QT_QPA_PLATFORM=offscreen
# The simulator offers its port in the panel's ports/ and takes the entry away again on SIGTERM.
ports="$work/xdg/TarnikS/ports"
HOME="$work/home" XDG_CONFIG_HOME="$work/xdg" "$root/usr/bin/TarnikSim" --no-banner >"$work/sim.out" 2>&1 &
sim=$!
for _ in $(seq 600); do { grep -q '^TarnikSim serving' "$work/sim.out" || ! kill -0 "$sim" 2>/dev/null; } && break; sleep 0.05; done
if ! grep -q '^TarnikSim serving' "$work/sim.out" || [ -z "$(ls -A "$ports" 2>/dev/null)" ]; then
  fail "the simulator offered no port in $ports: $(cat "$work/sim.out")"
fi
kill -TERM "$sim" || true
wait "$sim" || fail "the simulator did not end cleanly on SIGTERM"
[ -z "$(ls -A "$ports" 2>/dev/null)" ] || fail "the simulator left its entry in $ports"
[ "$before" = "$(cd "$root" && find . -printf '%p %y %s %T@\n' | sort)" ] || fail "something was written under the unpacked root"
[ -z "$(find "$work/home" -mindepth 1 -print -quit)" ] || fail "with XDG_CONFIG_HOME set, files went under HOME"

# Installed with apt, the way an operator installs it.
if [ "${CI:-}" != true ]; then
  echo "package_test: install check skipped: it installs and purges tarniks on this machine; CI=true runs it"
else
  purge   # a copy installed before would make apt keep its files or refuse a downgrade
  installed=true
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "$deb" >"$work/install.out" 2>&1 ||
    fail "apt-get install: $(cat "$work/install.out")"
  launch=(xvfb-run -a -s "-screen 0 1280x1024x24")
  run_panel /usr/bin/TarnikS "$work/inst/TarnikS" HOME="$work/home" XDG_CONFIG_HOME="$work/inst" QT_QPA_PLATFORM=xcb
  purge
  if dpkg-query -W tarniks >/dev/null 2>&1 || [ -e /usr/bin/TarnikS ]; then fail "tarniks is still there after the purge"; fi
fi

[ "$failures" -eq 0 ] || { echo "package_test: $failures failure(s)" >&2; exit 1; }
echo "package_test: all checks passed"
