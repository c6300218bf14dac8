#!/usr/bin/env bash
# A real window on a virtual display, through the SDL driver and without a window manager:
# the window appears with its title, position and a 320 x 240 client area, shows what it
# painted (also enlarged by MORVALA_SCALE), uses no CPU while idle, gets a key press as
# WM_CHAR, and a close request ends its loop with code 0.
# Usage: window_test.sh DEMO-PROGRAM CLOSE-REQUEST-PROGRAM
set -euo pipefail
demo=$1
close_request=$2
title="Morvala Window Test"

source "$(dirname "$0")/../../scripts/lib/xvfb.sh"

work=$(mktemp -d)
program=
cleanup() {
  [ -n "$program" ] && kill "$program" 2>/dev/null || true
  [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "window test: $*" >&2
  echo "--- program output:" >&2
  cat "$work/out" "$work/err" >&2 2>/dev/null || true
  exit 1
}

start_virtual_display "$work" || fail "no virtual display"

# The display outlives its clients. A server that resets once its last client has left
# refuses a connection that arrives meanwhile, and forgets what that client set.
xprop -root -f MORVALA_DISPLAY_PROBE 8s -set MORVALA_DISPLAY_PROBE kept
sleep 0.5
xprop -root MORVALA_DISPLAY_PROBE | grep -q '"kept"' ||
  fail "the virtual display reset when its last client left"

pixel_is() {  # pixel_is WINDOW X Y COLOUR
  [ "$(pixel "$1" "$2" "$3")" = "$4" ]
}

cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }

run_window() {  # run_window SCALE
  local scale=$1
  : >"$work/out"
  MORVALA_SCALE=$scale "$demo" >"$work/out" 2>"$work/err" &
  program=$!
  local window
  window=$(timeout 20 xdotool search --sync --onlyvisible --name "^$title\$" | head -n1) ||
    fail "no window titled '$title' appeared"
  [ "$(xdotool getwindowname "$window")" = "$title" ] || fail "the title is wrong"

  local geometry
  geometry=$(xwininfo -id "$window" |
    awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4}
         /Width:/ {w=$2} /Height:/ {h=$2} END {print x "," y " " w "x" h}')
  [ "$geometry" = "475,245 $((320 * scale))x$((240 * scale))" ] ||
    fail "scale $scale: the window is at $geometry"

  wait_for grep -q '^painted$' "$work/out" || fail "the window was never painted"
  # Row 10 is red, row 11 still the window's white, each pixel scale x scale on the screen.
  wait_for pixel_is "$window" $((20 * scale)) $((10 * scale + scale - 1)) "#FF0000" ||
    fail "scale $scale: the red line is not shown"
  pixel_is "$window" $((20 * scale)) $((11 * scale)) "#FFFFFF" ||
    fail "scale $scale: the background is not white"

  # Idle, the program waits in the display and uses no CPU: at most 5 ticks (50 ms) in 1 s.
  local before after
  before=$(cpu_ticks "$program")
  sleep 1
  after=$(cpu_ticks "$program")
  [ $((after - before)) -le 5 ] || fail "the idle program used $((after - before)) CPU ticks in 1 s"

  xdotool windowfocus --sync "$window"
  xdotool key a
  wait_for grep -q '^WM_CHAR 97$' "$work/out" || fail "the key press did not arrive as WM_CHAR"

  "$close_request" "$window"
  local status=0
  timeout 20 tail --pid="$program" -f /dev/null || fail "the close request did not end the loop"
  wait "$program" || status=$?
  program=
  [ "$status" -eq 0 ] || fail "the program ended with code $status, not 0"
}

run_window 1
run_window 2
echo "window test: passed"
