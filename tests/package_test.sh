#!/usr/bin/env bash
# Checks a built tarniks .deb: what it holds, and where the installed panel and simulator keep their
# files. The package is unpacked into a scratch root and run from there, the way it runs from /usr.
# With CI=true it is also installed with apt (without recommended packages), the installed panel is
# started under a virtual X server, and the package is purged again, also when a check fails.
# Usage: tests/package_test.sh path/to/tarniks_<version>_<arch>.deb
set -euo pipefail

deb="${1:?usage: $0 tarniks_<version>_<arch>.deb}"
deb="$(cd "$(dirname "$deb")" && pwd)/$(basename "$deb")"
work=$(mktemp -d /tmp/tarniks-package.XXXXXX)
root="$work/root"
pids=()            # the program under test while it runs (one at a time)
groups=()          # the process group of a launched panel: the panel and its virtual X server
installed=false    # true while this script's install of the package is on the machine
cleanup() {
  # TERM first: a simulator takes its entry away, and xvfb-run, once its panel is gone, stops its X
  # server and removes its files. A launch whose panel never reported gets TERM as a whole group.
  local p g
  for p in "${pids[@]}"; do kill -TERM "$p" 2>/dev/null || true; done
  for g in "${groups[@]}"; do
    for _ in $(seq 1 60); do kill -0 -- "-$g" 2>/dev/null || break; sleep 0.05; done
    kill -TERM -- "-$g" 2>/dev/null || true
  done
  for p in "${pids[@]}"; do kill -KILL "$p" 2>/dev/null || true; done
  wait || true
  if $installed; then purge_package; fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM   # so that an interrupted run also purges what it installed

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

# Starts the panel $1 with the given environment, through the command in $launch if any (a virtual
# X server), waits until it has written its settings and its log in $2 and, on an X server, until
# its window is on the screen; then stops it.
launch=()
run_panel() {
  local exe="$1" data="$2"; shift 2
  local tag="$work/panel-$RANDOM"
  local out="$tag.out" session="$tag.session"
  # A group of its own, so that an interrupted run can end all it launched; the launched shell
  # notes the panel's pid and display before it becomes the panel.
  setsid "${launch[@]}" sh -c 'echo "$$ ${DISPLAY:-} ${XAUTHORITY:-}" >"$0.tmp" && mv "$0.tmp" "$0" && exec "$@"' \
    "$session" env "$@" XDG_RUNTIME_DIR="$work/runtime" "$exe" >"$out" 2>&1 &
  local launched=$! panel display xauth
  groups+=("$launched")
  if ! wait_for "$launched" test -s "$session"; then
    fail "panel did not start: $(cat "$out")"
    return
  fi
  read -r panel display xauth <"$session"
  pids+=("$panel")
  if wait_for "$launched" grep -qs '^ExpanderDlg=0' "$data/System.cfg" &&
     wait_for "$launched" grep -qs 'TarnikS started' "$data/TarnikS_log.txt"; then
    pass "panel wrote System.cfg and TarnikS_log.txt in ${data#"$work"/}"
  else
    fail "panel did not write its files in $data; it said: $(cat "$out")"
  fi
  if [ -n "$display" ]; then
    if wait_for "$launched" sh -c "DISPLAY='$display' XAUTHORITY='$xauth' xwininfo -name 'Tarnik S4' | grep -q IsViewable" \
         2>/dev/null; then
      pass "panel window shown on X display $display"
    else
      fail "no panel window on X display $display; the panel said: $(cat "$out")"
    fi
  fi
  if ! kill -0 "$panel" 2>/dev/null; then fail "panel ended by itself: $(cat "$out")"; fi
  kill -TERM "$panel" 2>/dev/null || true
  wait "$launched" 2>/dev/null || true
  pids=(); groups=()
}

# Starts the simulator $1 with the given environment, checks it offers its port in $2 and takes
# the entry away again when it is stopped.
run_sim() {
  local exe="$1" ports="$2"; shift 2
  local out="$work/sim-$RANDOM.out"
  env "$@" "$exe" --no-banner >"$out" 2>&1 &
  local sim=$!
  pids+=("$sim")
  if wait_for "$sim" grep -q '^TarnikSim serving' "$out"; then
    if [ -n "$(ls -A "$ports" 2>/dev/null)" ]; then
      pass "simulator offers its port in ${ports#"$work"/} ($(ls "$ports"))"
    else
      fail "simulator serves but no entry in $ports"
    fi
  else
    fail "simulator did not start: $(cat "$out")"
  fi
  kill -TERM "$sim" 2>/dev/null || true
  wait "$sim" 2>/dev/null || true
  pids=()
  [ -z "$(ls -A "$ports" 2>/dev/null)" ] && pass "simulator removed its entry on SIGTERM" ||
    fail "entry left behind in $ports"
}

mkdir -p "$work/home" "$work/runtime"
chmod 700 "$work/runtime"
echo "== panel with XDG_CONFIG_HOME set"
run_panel "$root/usr/bin/TarnikS" "$work/xdg/TarnikS" HOME="$work/home" XDG_CONFIG_HOME="$work/xdg" QT_QPA_PLATFORM=offscreen
echo "== panel with only HOME set"
run_panel "$root/usr/bin/TarnikS" "$work/home2/.config/TarnikS" -u XDG_CONFIG_HOME HOME="$work/home2" \
  QT_QPA_PLATFORM=offscreen

echo "== simulator's port entry"
run_sim "$root/usr/bin/TarnikSim" "$work/xdg/TarnikS/ports" HOME="$work/home" XDG_CONFIG_HOME="$work/xdg"

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

# ---- installed with apt, the way an operator installs it
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
purge_package() {
  installed=false
  dpkg-query -W tarniks >/dev/null 2>&1 || return 0
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get purge -y -qq tarniks >"$work/purge.out" 2>&1 ||
    fail "apt-get purge tarniks failed: $(cat "$work/purge.out")"
}

if [ "${CI:-}" != true ]; then
  echo "== install check skipped: it installs and purges tarniks on this machine; CI=true runs it"
else
  echo "== installed with apt-get --no-install-recommends"
  # A copy installed earlier (by hand, or left by an interrupted run) would make apt keep its files
  # or refuse a downgrade: start from none.
  if dpkg-query -W tarniks >/dev/null 2>&1; then
    echo "   removing the tarniks $(dpkg-query -W -f='${Version}' tarniks) installed before"
    purge_package
  fi
  installed=true
  if DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "$deb" \
       >"$work/install.out" 2>&1; then
    pass "apt-get installed $(basename "$deb")"
  else
    fail "apt-get install failed: $(cat "$work/install.out")"
  fi
  [ "$(dpkg-query -W -f='${Status} ${Version}' tarniks 2>/dev/null)" = "install ok installed $version" ] &&
    pass "dpkg knows tarniks $version as installed" || fail "tarniks $version is not installed"
  if command -v man >/dev/null; then
    [ "$(man -w TarnikS 2>/dev/null)" = /usr/share/man/man1/TarnikS.1.gz ] && pass "man TarnikS finds its page" ||
      fail "man TarnikS does not find /usr/share/man/man1/TarnikS.1.gz"
  fi

  mkdir -p "$work/inst-home"
  echo "== installed panel under a virtual X server"
  launch=(xvfb-run -a -s "-screen 0 1280x1024x24")
  run_panel /usr/bin/TarnikS "$work/inst-xdg/TarnikS" HOME="$work/inst-home" XDG_CONFIG_HOME="$work/inst-xdg" \
    QT_QPA_PLATFORM=xcb
  launch=()
  echo "== installed simulator's port entry"
  run_sim /usr/bin/TarnikSim "$work/inst-xdg/TarnikS/ports" HOME="$work/inst-home" XDG_CONFIG_HOME="$work/inst-xdg"
  [ -z "$(find "$work/inst-home" -mindepth 1 -print -quit)" ] && pass "nothing went under HOME" ||
    fail "with XDG_CONFIG_HOME set, files went under HOME: $(find "$work/inst-home" -mindepth 1)"
  echo "== where the installed programs' files landed (inst-xdg = XDG_CONFIG_HOME)"
  (cd "$work" && find inst-xdg -mindepth 1 | sort | sed 's/^/   /')

  purge_package
  if dpkg-query -W tarniks >/dev/null 2>&1 || [ -e /usr/bin/TarnikS ]; then
    fail "tarniks is still on the machine after the purge"
  else
    pass "apt-get purge removed tarniks"
  fi
fi

if [ "$failures" -ne 0 ]; then
  echo "package_test: $failures failure(s)" >&2
  exit 1
fi
echo "package_test: all checks passed"
