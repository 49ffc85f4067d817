#!/usr/bin/env bash
# The real window under Xvfb: a type the device refuses empties the caption, and the title
# properties a window manager reads are empty too (Qt alone would put the program's name
# there). F12 then opens the transcript window.
# usage: window_empty_title.sh ZEMBROMW ZEMBROMW_SIM
set -euo pipefail
app_src=$1 sim=$2

work=$(mktemp -d)
sim_pid="" xvfb_pid="" app_pid=""
cleanup() {
  for p in $app_pid $sim_pid $xvfb_pid; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# The settings file sits beside the executable, so run a copy in the scratch folder.
cp "$app_src" "$work/zembromw"
"$sim" --link "$work/rom-writer" --burn-ms 0 --reject-type >"$work/sim.out" &
sim_pid=$!
for _ in $(seq 100); do [ -e "$work/rom-writer" ] && break; sleep 0.05; done
[ -e "$work/rom-writer" ] || fail "simulator did not start"

display=""
for n in $(seq 121 150); do
  [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || { display=":$n"; break; }
done
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=$display
for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.05; done

ZEMBROMW_COM1="$work/rom-writer" "$work/zembromw" &
app_pid=$!
win=$(timeout 20 xdotool search --sync --name '^ZEMB-DazIzira$' | head -n1) || fail "no window"
eval "$(xdotool getwindowgeometry --shell "$win")"

# Pick the next type with the arrow key; the simulator refuses every type.
xdotool mousemove --sync $((X + 100)) $((Y + 12)) click 1
xdotool key Up
for _ in $(seq 200); do [ -z "$(xdotool getwindowname "$win")" ] && break; sleep 0.05; done
[ -z "$(xdotool getwindowname "$win")" ] || fail "caption is '$(xdotool getwindowname "$win")'"
net=$(xprop -id "$win" _NET_WM_NAME)
[ "$net" = "_NET_WM_NAME(UTF8_STRING) = " ] || fail "$net"
icccm=$(xprop -id "$win" WM_NAME)
[ "$icccm" = "WM_NAME(STRING) = " ] || fail "$icccm"

xdotool key F12
timeout 20 xdotool search --sync --name '^通信ログ$' >/dev/null || fail "no transcript window"
echo "ok"
