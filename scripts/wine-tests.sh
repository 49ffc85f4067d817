#!/usr/bin/env bash
# Runs the Windows build under Wine: the unit tests of the cross build, then
# zembromw-cli.exe and the Win32 serial backend against the Linux simulator, whose
# pseudo-terminals stand in for COM ports. Needs build/mingw (cmake --preset mingw) and
# build/default (for zembromw-sim). Without Wine it says so and does nothing. Every Windows
# program runs under a time limit, so a hang fails the run instead of stalling it.
#
# Ports in the private Wine prefix (each a link that the script points at a terminal):
#   COM1  the simulator for the command-line runs
#   COM2  a simulator that is stopped: a line that neither reads nor sends
#   COM3  a folder: the open fails with "access denied", as a port held by another program
#         does on Windows
#   COM4  a plain file
#   COM5  a path that does not exist (a port whose device is gone)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
mingw=${ZEMBROMW_MINGW_BUILD:-$root/build/mingw}
linux=${ZEMBROMW_LINUX_BUILD:-$root/build/default}

if ! command -v wine >/dev/null 2>&1; then
  echo "wine-tests: SKIPPED, Wine is not installed (apt-get install wine wine64)"
  exit 0
fi
sim=$linux/tools/sim/zembromw-sim
cli=$mingw/tools/cli/zembromw-cli.exe
sample=$root/samples/demo-4k.hex
for f in "$sim" "$cli" "$mingw/win-tests.txt" "$sample"; do
  [ -e "$f" ] || { echo "wine-tests: missing $f (build the default and mingw presets)" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/zembromw-wine.XXXXXX")
export WINEPREFIX=$work/prefix WINEARCH=win64 WINEDEBUG=-all
# No Mono or Gecko installer prompts, no window: console programs only.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
sims=()
cleanup() {
  local pid
  for pid in "${sims[@]}"; do
    kill -CONT "$pid" 2>/dev/null || true
    kill "$pid" 2>/dev/null || true
  done
  wineserver -k >/dev/null 2>&1 || true
  [ -n "${ZEMBROMW_KEEP_WINE_WORK:-}" ] && echo "wine-tests: kept $work" || rm -rf "$work"
}
trap cleanup EXIT

started=$SECONDS
failures=0
pass() { echo "  ok    $*"; }
fail() {
  echo "  FAIL  $*"
  failures=$((failures + 1))
}
# Windows path of a Linux path, through Wine's Z: drive.
winpath() { printf 'Z:%s' "${1//\//\\}"; }

# Starts a simulator with the given options behind the link $work/<name>; sets sim_pid.
start_sim() {
  local name=$1
  shift
  "$sim" --link "$work/$name" "$@" >"$work/$name.sim-out" 2>&1 &
  sim_pid=$!
  sims+=("$sim_pid")
  local i
  for i in $(seq 100); do
    [ -L "$work/$name" ] && return 0
    sleep 0.05
  done
  echo "wine-tests: the simulator did not start" >&2
  cat "$work/$name.sim-out" >&2
  exit 1
}
stop_sim() {
  kill -CONT "$1" 2>/dev/null || true
  kill "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}

# Runs the CLI; the exit status lands in $status, the streams in $work/out and $work/err.
run_cli() {
  set +e
  timeout 120 wine "$cli" "$@" <"${cli_input:-/dev/null}" >"$work/out" 2>"$work/err"
  status=$?
  set -e
  # Standard error is a text stream (CR LF on Windows); standard output carries bytes as
  # they are.
  sed -i 's/\r$//' "$work/err"
}
last_err_line() { tail -n 1 "$work/err"; }
expect_cli() {
  local want=$1 answer=$2 what=$3
  shift 3
  run_cli "$@"
  if [ "$status" -eq "$want" ] && { [ -z "$answer" ] || [ "$(last_err_line)" = "$answer" ]; }; then
    pass "$what (exit $status, $(last_err_line))"
  else
    fail "$what: exit $status (want $want), last line '$(last_err_line)' (want '$answer')"
    sed 's/^/        /' "$work/err"
  fi
}

echo "== Wine prefix ($(wine --version))"
wineboot -i >"$work/wineboot.log" 2>&1 || { cat "$work/wineboot.log"; exit 1; }
mkdir -p "$work/folder"
printf 'not a port\r\n' >"$work/plain.txt"
ln -s "$work/plain.txt" "$work/com4"
# Wine recreates dosdevices/comN from this key whenever it starts, so the ports are set
# here rather than by replacing the links in dosdevices.
for n in 1 2 4 5; do
  wine reg add 'HKLM\Software\Wine\Ports' /v "COM$n" /d "$work/com$n" /f >/dev/null
done
wine reg add 'HKLM\Software\Wine\Ports' /v COM3 /d "$work/folder" /f >/dev/null
wineserver -w
# One server for the rest of the run, so that the port links are read once.
wineserver -p >/dev/null 2>&1
echo "   prefix ready after $((SECONDS - started)) s"

echo "== unit tests of the cross build"
while read -r test; do
  [ -n "$test" ] || continue
  case $test in test_serial_win32) continue ;; esac
  if timeout 300 wine "$mingw/tests/win32/$test.exe" --gtest_brief=1 >"$work/$test.log" 2>&1; then
    pass "$test ($(grep -Eo '[0-9]+ tests? from [0-9]+ test suites? ran' "$work/$test.log" | head -n 1))"
  else
    fail "$test"
    sed 's/^/        /' "$work/$test.log"
  fi
done <"$mingw/win-tests.txt"

echo "== Win32 serial backend on a held line"
start_sim com2 --log "$work/held.log"
held_pid=$sim_pid
kill -STOP "$held_pid"
if ZEMBROMW_TEST_HELD_PORT=COM2 ZEMBROMW_TEST_FILE_PORT=COM4 \
  timeout 300 wine "$mingw/tests/win32/test_serial_win32.exe" >"$work/serial.log" 2>&1; then
  pass "test_serial_win32: $(grep -E '^a read with|^line held|^under Wine' "$work/serial.log" | tr -d '\r' | paste -sd ';' - | sed 's/;/; /g')"
else
  fail "test_serial_win32"
  sed 's/^/        /' "$work/serial.log"
fi
# The stopped simulator now takes what reached its side of the terminal: never the byte
# whose write failed, which the backend took back, only the bytes before it and the "Z"
# written after the failure.
kill -CONT "$held_pid"
for i in $(seq 40); do
  [ -s "$work/held.log" ] && break
  sleep 0.05
done
sleep 0.2
stop_sim "$held_pid"
held_bytes=$(tr -d '\r' <"$work/serial.log" | sed -n 's/^line held after \([0-9]*\) bytes.*/\1/p')
received=$(awk '$2 == "<" { printf "%s", $3 }' "$work/held.log")
if [ -n "$held_bytes" ] && [ "${received: -1}" = "Z" ] && [ $((${#received} - 1)) -le "$held_bytes" ]; then
  pass "the far end got $((${#received} - 1)) of the $held_bytes bytes written, then Z; the failed byte never went out"
else
  fail "bytes that reached the far end of the held line: ${#received} (written: ${held_bytes:-?})"
fi

echo "== zembromw-cli.exe against the simulator on COM1"
start_sim com1 --log "$work/sim.log"
main_pid=$sim_pid
out_file=$work/read-back.hex
expect_cli 0 "RT OK 08 27256" "type 08" -p COM1 type 08
[ "$(cat "$work/out")" = "RT OK 08 27256" ] || fail "type printed '$(cat "$work/out")'"
expect_cli 0 "RB OK" "blank 0 FFF" -p COM1 blank 0 FFF
expect_cli 0 "RP OK" "program demo-4k.hex" -p COM1 program "$(winpath "$sample")"
expect_cli 0 "RR OK" "read 0 FFF" -p COM1 read 0 FFF "$(winpath "$out_file")"
if [ -f "$out_file" ] && cmp -s <(grep '^:' "$sample" | tr -d '\r') <(tr -d '\r' <"$out_file" | grep '^:') \
  && [ "$(grep -c $'\r$' "$out_file")" -eq "$(wc -l <"$out_file")" ]; then
  pass "the saved file holds the sample's $(grep -c '^:' "$sample") records, every line ended by CR LF"
else
  fail "the saved file differs from the sample (or is missing, or its line ends are not CR LF)"
fi
expect_cli 0 "RR OK" "read 0 FFF to standard output" -p COM1 -q read 0 FFF -
if cmp -s "$work/out" "$out_file"; then
  pass "standard output holds the same bytes as the saved file (no CR CR LF)"
else
  fail "standard output differs from the saved file"
fi
cli_input=$sample expect_cli 0 "RC OK" "compare from standard input" -p COM1 compare -
expect_cli 0 "RC OK" "compare demo-4k.hex" -p COM1 compare "$(winpath "$sample")"
expect_cli 0 "RW OK" "write demo-4k.hex" -p COM1 write "$(winpath "$sample")"
# The simulator's transcript: each command arrived as the CLI built it, and each upload
# sent every line of the file.
records=$(grep -c '' "$sample")
for want in '< RT 08\r' '< RB 0000,0FFF\r' '< RP 00000,00FFF+00000\r' '< RR 00000,00FFF' \
  '< RC 00000,00FFF' '< RW 00000,00FFF'; do
  if grep -qF -- "$want" "$work/sim.log"; then pass "transcript: $want"; else fail "transcript lacks $want"; fi
done
uploaded=$(grep -c '< :' "$work/sim.log" || true)
if [ "$uploaded" -ge $((4 * (records - 3))) ]; then
  pass "transcript: $uploaded record lines in the four uploads of $((records - 3))"
else
  fail "transcript: only $uploaded record lines uploaded"
fi

echo "== ports that cannot be used"
# No prefix maps COM199; low numbers may be taken by the machine's /dev/ttyS* ports.
expect_cli 3 "" "missing port COM199" -p COM199 type 08
grep -q 'no such device' "$work/err" || fail "COM199: $(head -n 1 "$work/err")"
# Wine still opens a port it knows whose device is gone (a handle without a terminal);
# the backend refuses it because it has no line settings.
expect_cli 3 "" "port whose device is gone (COM5)" -p COM5 type 08
expect_cli 3 "" "port that opens a folder (COM3)" -p COM3 type 08
grep -q 'in use by another program or not permitted' "$work/err" || fail "COM3: $(head -n 1 "$work/err")"
expect_cli 3 "" "port that opens a plain file (COM4)" -p COM4 type 08
grep -q 'not a serial device' "$work/err" || fail "COM4: $(head -n 1 "$work/err")"
# A port held by another program: on Windows the second open fails with "access denied"
# (the COM3 check above shows what the user then sees). Wine applies no sharing check to
# serial devices, so here the second program gets the port too; this checks only that it
# ends with a defined status while the first one holds the line.
timeout 120 wine "$cli" -p COM1 -q read 0 7FFF "$(winpath "$work/held-read.hex")" >"$work/holder.out" 2>&1 &
holder=$!
sleep 1
run_cli -p COM1 type 08
wait "$holder" || true
case $status in
  3) pass "second program on a held COM1: refused (exit 3)" ;;
  0 | 1) pass "second program on a held COM1: Wine opened it too (exit $status), as it does for any serial device" ;;
  *) fail "second program on a held COM1: exit $status" ;;
esac
stop_sim "$main_pid"

echo "== the device hangs up in the middle of an upload"
start_sim com1 --disconnect-after-lines 20
gone_pid=$sim_pid
expect_cli 3 "" "program while the far end goes away" -p COM1 program "$(winpath "$sample")"
# The host finds the line gone on its next write or on the read it does before each byte
# (for an XOFF), whichever comes first.
grep -Eq 'write failed|read failed' "$work/err" ||
  fail "hang-up: $(grep -v '^zembromw-cli: ROM type' "$work/err" | head -n 2)"
stop_sim "$gone_pid"

echo "== paced uploads: XOFF and XON reach the component through the Win32 backend"
pace=(--baud 9600 --burn-ms 5)
if "$sim" --help | grep -q -- --burn-us-per-byte; then pace=(--baud 9600 --burn-us-per-byte 500); fi
start_sim com1 --log "$work/paced.log" "${pace[@]}"
paced_pid=$sim_pid
expect_cli 0 "RP OK" "program demo-4k.hex, sim ${pace[*]}" -p COM1 program "$(winpath "$sample")"
stop_sim "$paced_pid"
xoffs=$(grep -c '> \\x13' "$work/paced.log" || true)
if [ "$xoffs" -gt 0 ]; then pass "$xoffs XOFF/XON pauses in that upload"; else fail "the paced upload saw no XOFF"; fi
# Unpaced input makes the simulator's transcript show when the host sent. While the device
# holds XOFF, only what was already on its way may arrive: a few bytes, since the host
# polls before every byte but the XOFF takes a moment to reach it (more on a busy machine).
# The first XOFF is held for 1.5 s, in which a host that missed it would send kilobytes.
start_sim com1 --log "$work/hold.log" --hold-xoff-ms 1500 --burn-ms 5
hold_pid=$sim_pid
expect_cli 0 "RP OK" "program demo-4k.hex, sim --hold-xoff-ms 1500" -p COM1 program "$(winpath "$sample")"
stop_sim "$hold_pid"
read -r xoffs long_ms long_bytes < <(awk '
  function close_window() {
    if (held && ms - since > long_ms) { long_ms = ms - since; long_bytes = slipped }
    held = 0
  }
  { ms = $1 + 0 }
  $2 == ">" && index($3, "\\x13") { close_window(); held = 1; xoffs++; slipped = 0; since = ms; next }
  $2 == ">" && index($3, "\\x11") { close_window(); next }
  $2 == "<" && held {
    bytes = $3
    gsub(/\\x[0-9A-Fa-f][0-9A-Fa-f]|\\./, "_", bytes)
    slipped += length(bytes)
  }
  END { printf "%d %d %d\n", xoffs, long_ms, long_bytes }' "$work/hold.log")
if [ "$xoffs" -gt 0 ] && [ "$long_ms" -ge 1400 ] && [ "$long_bytes" -le 16 ]; then
  pass "$xoffs XOFFs; $long_bytes byte(s) arrived in the ${long_ms} ms hold"
else
  fail "XOFF pacing: $xoffs XOFFs; $long_bytes bytes arrived in the longest hold (${long_ms} ms)"
fi

echo "== Wine run: $((SECONDS - started)) s, $failures failure(s)"
[ "$failures" -eq 0 ]
