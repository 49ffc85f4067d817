#!/usr/bin/env bash
# The real window under Xvfb: a type the device refuses empties the caption, and the title
# properties a window manager reads are empty too (Qt alone would put the program's name
# there). F12 then opens the transcript window.
# usage: window_empty_title.sh ZEMBROMW ZEMBROMW_SIM
set -euo pipefail
app_src=$1 sim=$2

. "$(dirname "$0")/window_common.sh"
start_sim --reject-type
start_xvfb 121 150

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
