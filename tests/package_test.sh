#!/usr/bin/env bash
# Checks a built tarniks .deb: what it holds, and where the installed panel and simulator keep their
# files. The package is unpacked into a scratch root and run from there, the way it runs from /usr.
# Usage: tests/package_test.sh path/to/tarniks_<version>_<arch>.deb
set -euo pipefail

deb="${1:?usage: $0 tarniks_<version>_<arch>.deb}"
deb="$(cd "$(dirname "$deb")" && pwd)/$(basename "$deb")"
work=$(mktemp -d /tmp/tarniks-package.XXXXXX)
root="$work/root"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill -KILL "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
pass() { echo "ok:   $*"; }

# Waits until the command succeeds; gives up after a generous deadline, which only decides that the
# program never got there (no test here depends on how fast anything is).
wait_for() {
  local pid="$1"; shift
  for _ in $(seq 1 600); do
    if "$@"; then return 0; fi
    if ! kill -0 "$pid" 2>/dev/null; then "$@"; return; fi
    sleep 0.05
  done
  return 1
}

# ---- contents
echo "== contents of $(basename "$deb")"
listing=$(dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|')
expected=(
  /usr/bin/TarnikS /usr/bin/TarnikSim
  /usr/share/applications/tarniks.desktop
  /usr/share/doc/tarniks/copyright /usr/share/doc/tarniks/changelog.gz /usr/share/doc/tarniks/TarnikSim.txt
  /usr/share/man/man1/TarnikS.1.gz /usr/share/man/man1/TarnikSim.1.gz
)
for size in 16 32 48 64 128 256; do
  expected+=("/usr/share/icons/hicolor/${size}x${size}/apps/tarniks.png")
done
for path in "${expected[@]}"; do
  if grep -qx "$path" <<<"$listing"; then pass "holds $path"; else fail "missing $path"; fi
done
if stray=$(grep -v -e '^/usr/bin/' -e '^/usr/share/' -e '/$' <<<"$listing"); then
  fail "files outside /usr/bin and /usr/share: $stray"
fi

[ "$(dpkg-deb -f "$deb" Package)" = tarniks ] && pass "package name tarniks" || fail "package name"
maintainer=$(dpkg-deb -f "$deb" Maintainer)
[[ "$maintainer" =~ ^TarnikS\ developers\ \<[^@\<\>\ ]+@[^@\<\>\ ]+\>$ ]] && pass "maintainer $maintainer" ||
  fail "maintainer without an address: $maintainer"
depends=$(dpkg-deb -f "$deb" Depends)
# Qt loads its platform plugin at start-up; no library links it, so only an explicit entry pulls it in.
for lib in libc6 libstdc++6 libqt6widgets6 libqt6gui6 libqt6core6 qt6-qpa-plugins; do
  if grep -q "\b$lib\b" <<<"$depends"; then pass "depends on $lib"; else fail "Depends lacks $lib: $depends"; fi
done

dpkg-deb -x "$deb" "$root"

# ---- desktop entry and icons
entry="$root/usr/share/applications/tarniks.desktop"
if out=$(desktop-file-validate "$entry" 2>&1) && [ -z "$out" ]; then pass "desktop entry validates"; else fail "desktop entry: $out"; fi
for line in Name=TarnikS Exec=TarnikS Icon=tarniks 'Categories=Utility;Engineering;'; do
  grep -qx "$line" "$entry" && pass "desktop entry has $line" || fail "desktop entry lacks $line"
done
grep -q '^Comment=.' "$entry" && pass "desktop entry has a comment" || fail "desktop entry lacks a comment"
# The executable the entry starts is one the package installs.
exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
[ -x "$root/usr/bin/$exec_name" ] && pass "Exec names /usr/bin/$exec_name" || fail "Exec=$exec_name is not installed"

# Width and height from the PNG header (big-endian, bytes 16..23) must match the folder's size.
png_size() { od -An -tu1 -j16 -N8 "$1" | awk '{print $1*16777216+$2*65536+$3*256+$4 "x" $5*16777216+$6*65536+$7*256+$8}'; }
for size in 16 32 48 64 128 256; do
  icon="$root/usr/share/icons/hicolor/${size}x${size}/apps/tarniks.png"
  if [ "$(head -c 8 "$icon" | od -An -tx1 | tr -d ' ')" != 89504e470d0a1a0a ]; then
    fail "$icon is not a PNG"
  elif [ "$(png_size "$icon")" != "${size}x${size}" ]; then
    fail "$icon is $(png_size "$icon"), not ${size}x${size}"
  else
    pass "icon ${size}x${size}"
  fi
done

# ---- the simulator's help
echo "== TarnikSim --help"
if help=$("$root/usr/bin/TarnikSim" --help); then pass "TarnikSim --help exits 0"; else fail "TarnikSim --help failed"; fi
grep -q '^Usage: TarnikSim' <<<"$help" && pass "help starts with its usage" || fail "no usage in: $help"
grep -q -- '--ports-dir' <<<"$help" && pass "help lists the options" || fail "help lists no options"
if [ "$help" = "$(cat "$root/usr/share/doc/tarniks/TarnikSim.txt")" ]; then
  pass "TarnikSim.txt is what the installed simulator prints"
else
  fail "TarnikSim.txt differs from TarnikSim --help"
fi
zcat "$root/usr/share/man/man1/TarnikSim.1.gz" | grep -q -- '--ports-dir' && pass "manual page lists the options" ||
  fail "manual page lacks the options"

# ---- the panel's manual page, changelog and licence
echo "== documentation"
version=$(dpkg-deb -f "$deb" Version)
panel_man=$(zcat "$root/usr/share/man/man1/TarnikS.1.gz")
grep -q "^\.TH TARNIKS 1 .*\"TarnikS $version\"" <<<"$panel_man" && pass "man TarnikS names version $version" ||
  fail "man TarnikS lacks the version $version: $(head -1 <<<"$panel_man")"
for entry in '.I System.cfg' '.I TarnikS_log.txt' '.I ports/' '.B XDG_CONFIG_HOME' '.B HOME'; do
  grep -qxF "$entry" <<<"$panel_man" && pass "man TarnikS describes ${entry#* }" || fail "man TarnikS lacks $entry"
done
[ "$(zcat "$root/usr/share/doc/tarniks/changelog.gz" | head -1)" = "tarniks ($version) unstable; urgency=medium" ] &&
  pass "changelog begins with $version" || fail "changelog does not begin with $version"
grep -qx 'License: Expat' "$root/usr/share/doc/tarniks/copyright" && pass "copyright names its licence" ||
  fail "copyright names no licence"

# ---- where the installed programs keep their files
snapshot() { (cd "$root" && find . -printf '%p %y %s %T@\n' | sort); }
before=$(snapshot)

# Starts the installed panel with the given environment, waits until it has written its settings
# and its log, stops it and checks those two files are in $1.
run_panel() {
  local data="$1"; shift
  local out="$work/panel-$RANDOM.out"
  env "$@" QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work/runtime" "$root/usr/bin/TarnikS" >"$out" 2>&1 &
  local pid=$!
  pids+=("$pid")
  if wait_for "$pid" grep -qs '^ExpanderDlg=0' "$data/System.cfg" &&
     wait_for "$pid" grep -qs 'TarnikS started' "$data/TarnikS_log.txt"; then
    pass "panel wrote System.cfg and TarnikS_log.txt in ${data#"$work"/}"
  else
    fail "panel did not write its files in $data; it said: $(cat "$out")"
  fi
  if ! kill -0 "$pid" 2>/dev/null; then fail "panel ended by itself: $(cat "$out")"; fi
  kill -TERM "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}

mkdir -p "$work/home" "$work/runtime"
chmod 700 "$work/runtime"
echo "== panel with XDG_CONFIG_HOME set"
run_panel "$work/xdg/TarnikS" HOME="$work/home" XDG_CONFIG_HOME="$work/xdg"
echo "== panel with only HOME set"
run_panel "$work/home2/.config/TarnikS" -u XDG_CONFIG_HOME HOME="$work/home2"

echo "== simulator's port entry"
sim_out="$work/sim.out"
env HOME="$work/home" XDG_CONFIG_HOME="$work/xdg" "$root/usr/bin/TarnikSim" --no-banner >"$sim_out" 2>&1 &
sim_pid=$!
pids+=("$sim_pid")
if wait_for "$sim_pid" grep -q '^TarnikSim serving' "$sim_out"; then
  if [ -n "$(ls -A "$work/xdg/TarnikS/ports" 2>/dev/null)" ]; then
    pass "simulator offers its port in xdg/TarnikS/ports/ ($(ls "$work/xdg/TarnikS/ports"))"
  else
    fail "simulator serves but no entry in $work/xdg/TarnikS/ports/"
  fi
else
  fail "simulator did not start: $(cat "$sim_out")"
fi
kill -TERM "$sim_pid" 2>/dev/null || true
wait "$sim_pid" 2>/dev/null || true
[ -z "$(ls -A "$work/xdg/TarnikS/ports" 2>/dev/null)" ] && pass "simulator removed its entry on SIGTERM" ||
  fail "entry left behind in ports/"

after=$(snapshot)
if [ "$before" = "$after" ]; then
  pass "nothing written under the unpacked root"
else
  fail "the unpacked root changed: $(diff <(echo "$before") <(echo "$after") || true)"
fi
if leaked=$(find "$work/home" \( -name System.cfg -o -name TarnikS_log.txt -o -name ports \) -print -quit) &&
   [ -n "$leaked" ]; then
  fail "with XDG_CONFIG_HOME set, files still went under HOME: $leaked"
fi

echo "== where the files landed (xdg = XDG_CONFIG_HOME; home2 = HOME when XDG_CONFIG_HOME is unset)"
(cd "$work" && find xdg home2 \( -type f -o -type d -name ports \) | sort | sed 's/^/   /')

if [ "$failures" -ne 0 ]; then
  echo "package_test: $failures failure(s)" >&2
  exit 1
fi
echo "package_test: all checks passed"
