#!/usr/bin/env bash
# The window manager's close request (WM_DELETE_WINDOW, as a close button sends it) while
# the ROM writer holds an upload with XOFF: the write ends by the silent abort within a
# second, the window closes and the settings are saved.
# usage: window_close_held.sh ZEMBROMW ZEMBROMW_SIM WM_DELETE_WINDOW_TOOL
set -euo pipefail
app_src=$1 sim=$2 wm_delete=$3

. "$(dirname "$0")/window_common.sh"
start_sim --log "$work/sim.log" --burn-ms 1 --hold-xoff-ms 30000
start_xvfb 151 180

# More lines than a pseudo-terminal buffers, so the upload is still running when the
# close request comes.
python3 - "$work/image.hex" <<'PY'
import sys
lines = [";MinAdr=0000", ";MaxAdr=7FFF"]
for i in range(2048):
    record = bytes([16, (i * 16) >> 8, (i * 16) & 0xFF, 0]) + bytes([0xA5]) * 16
    lines.append(":" + (record + bytes([-sum(record) & 0xFF])).hex().upper())
lines.append(":00000001FF")
open(sys.argv[1], "w").write("\n".join(lines) + "\n")
PY

ZEMBROMW_COM1="$work/rom-writer" "$work/zembromw" "$work/image.hex" &
app_pid=$!
await_window

press 240 29 52 25            # Button5, WRITE
# Wait until the writer holds the upload: its XOFF is in the transcript.
for _ in $(seq 200); do grep -q '\\x13' "$work/sim.log" 2>/dev/null && break; sleep 0.05; done
grep -q '\\x13' "$work/sim.log" || fail "the upload was never held"
sleep 0.3
[ "$(caption)" = " 書込中 ..." ] || fail "caption '$(caption)'"

start=$(date +%s%N)
"$wm_delete" "$win" || fail "could not send the close request"
for _ in $(seq 100); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.02; done
took_ms=$((($(date +%s%N) - start) / 1000000))
kill -0 "$app_pid" 2>/dev/null && fail "window still up ${took_ms} ms after the close request"
wait "$app_pid" || fail "window exited with status $?"
app_pid=""
[ "$took_ms" -lt 1000 ] || fail "the close took ${took_ms} ms"
tr -d '\r' <"$work/zembromw.sys" >"$work/settings.txt"  # lines end in CR LF
grep -qx '@Form1.Edit2=7FFF' "$work/settings.txt" || fail "settings not saved"
echo "window closed ${took_ms} ms after the close request; settings saved"
