#!/usr/bin/env bash
# The hex view and the differences view in the real window under Xvfb: a compare against a
# simulated chip that differs from the image fails, the memo's context menu then offers the
# differences, which read the chip and open a view of their own while the caption and the
# memo stay as the compare left them. With SHOT_DIR set, screenshots of both views land
# there (QT_SCALE_FACTOR is passed on to the window).
# usage: window_differences.sh ZEMBROMW ZEMBROMW_SIM
set -euo pipefail
app_src=$1 sim=$2
scale=${QT_SCALE_FACTOR:-1}

. "$(dirname "$0")/window_common.sh"

# One Intel HEX data record with its checksum.
record() {
  local address=$1 line hex sum b
  shift
  printf -v line ':%02X%04X00' $# "$address"
  sum=$(($# + (address >> 8) + (address & 255)))
  for b in "$@"; do
    printf -v hex '%02X' "$b"
    line+=$hex
    sum=$((sum + b))
  done
  printf '%s%02X\r\n' "$line" $(((256 - sum % 256) % 256))
}
# Rows of printable bytes; the chip differs at 0x13 (a bit more set: clearing fixes it) and
# at 0x42 and 0x43 (bits missing: only an erase does).
image() {
  local row i bytes
  for ((row = 0; row < 256; row += 16)); do
    bytes=()
    for ((i = 0; i < 16; i++)); do
      local value=$((0x30 + (row + i) % 64))
      if [ "$1" = chip ]; then
        case $((row + i)) in
          19) value=$((value | 0x80)) ;;
          66 | 67) value=$((value & 0xF0)) ;;
        esac
      fi
      bytes+=("$value")
    done
    record "$row" "${bytes[@]}"
  done
}
{ printf ';MinAdr=0000\r\n;MaxAdr=00FF\r\n;Type=8\r\n'; image file; printf ':00000001FF\r\n'; } \
  >"$work/image.hex"
image chip >"$work/chip.hex"

start_sim --log "$work/sim.log" --image "$work/chip.hex"
start_xvfb 121 140

QT_SCALE_FACTOR=$scale ZEMBROMW_COM1="$work/rom-writer" "$work/zembromw" "$work/image.hex" &
app_pid=$!
await_window

# The middle of a control given its designed left, top, width and height, scaled.
at() { echo $((X + ($1 + $3 / 2) * scale)) $((Y + ($2 + $4 / 2) * scale)); }
# Opens the memo's context menu and picks the entry `ups` steps up from its end.
memo_menu() {
  # No --sync: it waits for a movement that never comes when the pointer is there already.
  # shellcheck disable=SC2046
  xdotool mousemove $(at 3 117 353 105) sleep 0.2 click 3
  sleep 0.5
  for _ in $(seq "$1"); do xdotool key Up; done
  xdotool key Return
}
shot() { [ -n "${SHOT_DIR:-}" ] && import -window root "$SHOT_DIR/$1-${scale}x.png" || true; }

# shellcheck disable=SC2046
xdotool mousemove --sync $(at 236 62 56 24) click 1   # Button6, compare again
for _ in $(seq 200); do case "$(caption)" in *"NG"*) break ;; esac; sleep 0.05; done
case "$(caption)" in *"NG"*) ;; *) fail "caption '$(caption)' after a compare with a different chip" ;; esac
after_compare=$(caption)

memo_menu 2                                           # 差分を表示, above the language menu
view=$(timeout 20 xdotool search --sync --name '^(差分|Differences)$' | head -n1) || fail "no differences view"
grep -q 'RR 00000,000FF+00000' "$work/sim.log" || fail "the differences did not read the range"
[ "$(caption)" = "$after_compare" ] || fail "caption changed to '$(caption)'"
sleep 0.5
shot differences

# The view may cover the memo on a small screen.
xdotool windowunmap --sync "$view"
memo_menu 3                                           # HEX表示, just above it
timeout 20 xdotool search --sync --name '^(HEX表示|Hex view)$' >/dev/null || fail "no hex view"
sleep 0.5
shot hexview

# The window ends before the display does.
kill -TERM "$app_pid"
wait "$app_pid" || fail "window exited with status $?"
app_pid=""
echo "window differences: every step as expected"
