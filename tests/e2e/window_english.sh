#!/usr/bin/env bash
# The real window under Xvfb with ZEMBROMW_LANG=en: a blank check runs, and F12 opens the
# transcript window under its English title.
# usage: window_english.sh ZEMBROMW ZEMBROMW_SIM
set -euo pipefail
app_src=$1 sim=$2

. "$(dirname "$0")/window_common.sh"
start_sim
start_xvfb 211 240

ZEMBROMW_LANG=en ZEMBROMW_COM1="$work/rom-writer" "$work/zembromw" &
app_pid=$!
await_window
press 137 28 91 25            # Button1, blank check
expect_caption "RB OK"
xdotool windowfocus --sync "$win"
xdotool key F12
timeout 20 xdotool search --sync --name '^Serial transcript$' >/dev/null || fail "no English transcript window"
echo "ok"
