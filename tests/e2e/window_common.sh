#!/usr/bin/env bash
# Sourced by the window scripts: a scratch folder removed on exit with every process the
# script started, the simulator linked inside it, and an Xvfb display of its own.
# The sourcing script sets app_src and sim first.

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
  [ -f "$work/sim.log" ] && { echo "--- simulator transcript" >&2; tail -n 30 "$work/sim.log" >&2; }
  exit 1
}

# The settings file sits beside the executable, so run a copy in the scratch folder.
cp "$app_src" "$work/zembromw"

# Starts the simulator on $work/rom-writer with the given extra options.
start_sim() {
  "$sim" --link "$work/rom-writer" --burn-ms 0 "$@" >"$work/sim.out" &
  sim_pid=$!
  for _ in $(seq 100); do [ -e "$work/rom-writer" ] && break; sleep 0.05; done
  [ -e "$work/rom-writer" ] || fail "simulator did not start"
}

# Starts Xvfb on the first free display from FIRST to LAST and exports DISPLAY. Each script
# has its own range, so that scripts run side by side do not race for one display.
start_xvfb() {
  local display=""
  for n in $(seq "$1" "$2"); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || { display=":$n"; break; }
  done
  # -noreset: without it the server resets when its last client leaves, and a window
  # started in that moment cannot connect.
  Xvfb "$display" -noreset -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  export DISPLAY=$display
  for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.05; done
}

# Waits for the main window: win is its id, X and Y the top left of its client area.
await_window() {
  win=$(timeout 20 xdotool search --sync --name '^ZEMB-DazIzira$' | head -n1) || fail "no window"
  eval "$(xdotool getwindowgeometry --shell "$win")"
}
caption() { xdotool getwindowname "$win"; }
# Clicks the middle of a control given its designed left, top, width and height.
press() {
  xdotool mousemove --sync $((X + $1 + $3 / 2)) $((Y + $2 + $4 / 2)) click 1
}
# Waits until the caption is the expected text.
expect_caption() {
  for _ in $(seq 200); do [ "$(caption)" = "$1" ] && return 0; sleep 0.05; done
  fail "caption is '$(caption)', expected '$1'"
}
