#!/usr/bin/env bash
# The real window under Xvfb against zembromw-sim: buttons pressed at their designed
# positions, the outcome read from the window caption and the simulator's transcript, and
# the settings file the program leaves at exit.
# usage: window_with_sim.sh ZEMBROMW ZEMBROMW_SIM SAMPLE_HEX
set -euo pipefail
app_src=$1 sim=$2 sample=$3

. "$(dirname "$0")/window_common.sh"
cp "$sample" "$work/image.hex"
start_sim --log "$work/sim.log"
start_xvfb 90 120

ZEMBROMW_COM1="$work/rom-writer" "$work/zembromw" "$work/image.hex" &
app_pid=$!
await_window

# COM1 is the default port; the sample image is loaded, so WRITE and compare-again show.
press 137 28 91 25            # Button1, blank check
expect_caption "RB OK"
grep -q 'RB 0000,0FFF' "$work/sim.log" || fail "blank check command not seen"

press 240 29 52 25            # Button5, write the memo
expect_caption "RW OK"
grep -q 'RW 00000,00FFF+00000' "$work/sim.log" || fail "write command not seen"

press 236 62 56 24            # Button6, compare again
expect_caption "RC OK"

press 137 28 91 25            # blank check again: the chip is no longer blank
for _ in $(seq 200); do case "$(caption)" in "RB NG"*) break ;; esac; sleep 0.05; done
case "$(caption)" in "RB NG"*) ;; *) fail "caption '$(caption)' after a blank check of a written chip" ;; esac

# Typed into the memo with real keys: a line behind the image, a word taken back and
# typed again.
press 3 117 353 105           # Memo1
xdotool windowfocus --sync "$win"
xdotool key ctrl+End
xdotool type --delay 5 ';typed by hand'
xdotool key BackSpace BackSpace BackSpace BackSpace
xdotool type --delay 5 'keys'

# Closing saves the field values; the settings file appears beside the executable.
kill -TERM "$app_pid"
wait "$app_pid" || fail "window exited with status $?"
app_pid=""
[ -f "$work/zembromw.sys" ] || fail "no settings file written"
tr -d '\r' <"$work/zembromw.sys" >"$work/settings.txt"  # lines end in CR LF
grep -qx '@Form1.Edit1=0000' "$work/settings.txt" || fail "start address not stored"
grep -qx '@Form1.Edit2=0FFF' "$work/settings.txt" || fail "end address not stored"
grep -qx '@Form1.RadioGroup1=-1' "$work/settings.txt" || fail "port index not stored"
grep -qF '@Form1.Memo1=;MinAdr\x3D0000\n;MaxAdr\x3D0FFF\n;Type\x3D8\n:10000000' \
  "$work/settings.txt" || fail "memo not stored"
grep -q '^@Form1.Memo1=.*:00000001FF\\n;typed by keys$' "$work/settings.txt" ||
  fail "typed line not stored: $(grep Memo1 "$work/settings.txt" | tail -c 80)"
[ "$(grep -c . "$work/settings.txt")" -eq 4 ] || fail "settings file holds other than four keys"
echo "window end-to-end: every step as expected"
