#!/usr/bin/env bash
# The real program on a virtual display with a PipeWire camera: run inside a private session
# (with_pipewire_session) whose test pattern is the node named pattern. It shows the pattern's
# colour bars; without PipeWire it says why and shows the error box.
# Usage: with_pipewire_session pattern program_test.sh MORVALA
set -euo pipefail
morvala=$1
source "$(dirname "$0")/../../scripts/lib/xvfb.sh"

begin_program_test "pipewire program test"

start_virtual_display "$scratch" || fail "no virtual display"

# The session's camera: 75 % colour bars, yellow second and blue last, across the top.
MORVALA_CAMERA=pipewire "$morvala" 2>"$scratch/err" &
program=$!
window=$(wait_for_window Morvala) || fail "no window titled Morvala appeared"
bars_shown() {
    import -window "$window" "$scratch/shot.png" &&
        [ "$(pixel "$scratch/shot.png" 34 20)" = "#BFBFBF" ] &&
        [ "$(pixel "$scratch/shot.png" 80 20)" = "#BFBF00" ] &&
        [ "$(pixel "$scratch/shot.png" 297 20)" = "#0000BF" ]
}
wait_for bars_shown || fail "the colour bars are not shown"
kill "$program"
wait "$program" 2>/dev/null || true
program=

# No PipeWire: the reason, then the error box.
XDG_RUNTIME_DIR="$scratch" MORVALA_CAMERA=pipewire "$morvala" 2>"$scratch/err" &
program=$!
box=$(wait_for_window Error) || fail "no error box appeared"
xdotool key --window "$box" Return 2>/dev/null
timeout 10 tail --pid="$program" -f /dev/null || fail "the program did not end"
status=0
wait "$program" || status=$?
program=
[ "$status" = 1 ] || fail "without PipeWire the exit code is $status, not 1"
grep -qx "morvala: camera pipewire: no PipeWire running (nothing at $scratch/pipewire-0)" \
    "$scratch/err" || fail "the reason is missing"

echo "pipewire program test: passed"
