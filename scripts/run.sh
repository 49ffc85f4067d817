#!/usr/bin/env bash
# Builds zembromw and starts it against the simulated ROM writer: the simulator serves a
# blank 27256 on a pseudo-terminal that COM1 is mapped to, a short command-line session
# shows the link working, and the window opens with a sample image loaded.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --run
cmake --preset default >/dev/null
cmake --build --preset default --target zembromw zembromw-sim zembromw-cli

bin=build/default
work=$(mktemp -d)
sim_pid=""
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

"$bin/tools/sim/zembromw-sim" --link "$work/rom-writer" --burn-ms 1 --log "$work/sim.log" \
  >"$work/sim.out" &
sim_pid=$!
for _ in $(seq 100); do [ -e "$work/rom-writer" ] && break; sleep 0.05; done
export ZEMBROMW_COM1="$work/rom-writer"
echo "Simulated ROM writer on $(head -n1 "$work/sim.out"), mapped to COM1."

cli="$bin/tools/cli/zembromw-cli"
echo "--- zembromw-cli blank 0000 0FFF"
"$cli" blank 0000 0FFF || true
echo "--- zembromw-cli program samples/demo-4k.hex"
"$cli" program samples/demo-4k.hex || true
echo "--- zembromw-cli read 0000 003F -"
"$cli" read 0000 003F - || true

echo "--- the window (COM1 is the simulator; the chip now holds the sample image)"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: starting the window under Xvfb instead (close it with Ctrl+C)."
  xvfb-run -a -s "-screen 0 1024x768x24" "$bin/ui/zembromw" samples/demo-4k.hex
else
  "$bin/ui/zembromw" samples/demo-4k.hex
fi
