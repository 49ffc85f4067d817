#!/usr/bin/env bash
# The real window under Xvfb with a binary image named on the command line: WRITE puts the
# file's bytes on the simulated chip (srec_cat compares the chip's dump with the file).
# usage: window_formats.sh ZEMBROMW ZEMBROMW_SIM
set -euo pipefail
app_src=$1 sim=$2

. "$(dirname "$0")/window_common.sh"
command -v srec_cat >/dev/null || { echo "srec_cat not installed: skipped"; exit 0; }
head -c 1536 /dev/urandom >"$work/prog.bin"
start_sim --log "$work/sim.log" --dump "$work/chip.hex"
start_xvfb 181 210

ZEMBROMW_COM1="$work/rom-writer" "$work/zembromw" "$work/prog.bin" &
app_pid=$!
await_window

press 240 29 52 25            # Button5, WRITE: the range comes from the converted header
expect_caption "RW OK"
grep -q 'RW 00000,005FF+00000' "$work/sim.log" || fail "write range not 00000-005FF"

kill -TERM "$app_pid"
wait "$app_pid" || fail "window exited with status $?"
app_pid=""
kill -TERM "$sim_pid"
wait "$sim_pid" || true
sim_pid=""
srec_cat "$work/chip.hex" -intel -crop 0 0x600 -o "$work/chip.bin" -binary
cmp "$work/chip.bin" "$work/prog.bin" || fail "the chip does not hold the file's bytes"
echo "window wrote a binary image byte for byte"
