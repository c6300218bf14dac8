#!/usr/bin/env bash
# The real program on a virtual display, driven as a user would: eight space presses with the
# synthetic camera, then the close button; a camera that cannot be opened; no display at all.
# Usage: program_test.sh MORVALA CLOSE-REQUEST-PROGRAM
set -euo pipefail
morvala=$1
close_request=$2
source "$(dirname "$0")/../../scripts/lib/xvfb.sh"

begin_program_test "program test"

# Waits for the program to end and sets `status` to its exit code.
wait_for_program() {
    timeout 10 tail --pid="$program" -f /dev/null || fail "the program did not end"
    status=0
    wait "$program" || status=$?
    program=
}

start_virtual_display "$scratch" || fail "no virtual display"

# A whole session with the synthetic camera.
MORVALA_CAMERA=synthetic "$morvala" 2>"$scratch/err" &
program=$!
window=$(wait_for_window Morvala) || fail "no window titled Morvala appeared"
xwininfo -id "$window" | grep -q 'Width: 320' || fail "the client area is not 320 wide"
xwininfo -id "$window" | grep -q 'Height: 240' || fail "the client area is not 240 high"
xdotool windowfocus --sync "$window"
for press in 1 2 3 4 5 6 7 8; do
    xdotool key --window "$window" space
done
shot=$scratch/recognising.png
# The distance: white text at the bottom right, and no prompt left at the centre.
recognising_shown() {
    import -window "$window" "$shot" &&
        [ "$(pixels_of_colour "$shot" '#FFFFFF' 100x18+220+222)" -ge 20 ] &&
        [ "$(pixels_of_colour "$shot" '#FFFFFF' 200x18+60+112)" -eq 0 ]
}
wait_for recognising_shown || fail "after eight presses no distance is shown, or a prompt is"
# The rectangle is drawn at the patch in one colour, red with equal green and blue.
colour=$(pixel "$shot" 94 100)
[[ "$colour" =~ ^#FF([0-9A-F]{2})([0-9A-F]{2})$ ]] && [ "${BASH_REMATCH[1]}" = "${BASH_REMATCH[2]}" ] ||
    fail "no patch frame at x 94: $colour"
for point in "224 100" "150 54" "150 184" "95 150" "223 150"; do
    [ "$(pixel "$shot" $point)" = "$colour" ] || fail "the patch frame differs at $point"
done
"$close_request" "$window"
wait_for_program
[ "$status" = 0 ] || fail "closing the window ended with exit code $status, not 0"

# A camera that cannot be opened: its reason, the error box, and exit code 1 once dismissed.
MORVALA_CAMERA="$scratch/no such clip.mp4" "$morvala" 2>"$scratch/err" &
program=$!
box=$(wait_for_window Error) || fail "no error box appeared"
# Without a window manager nothing has the focus, which xdotool reports; the key still lands.
xdotool key --window "$box" Return 2>/dev/null
wait_for_program
[ "$status" = 1 ] || fail "the camera failure ended with exit code $status, not 1"
grep -q "no such clip.mp4: cannot open" "$scratch/err" || fail "the camera's reason is missing"
grep -qx "Error: cannot connect to camera!" "$scratch/err" || fail "the box's text is missing"

# Killed while its error box is up, the program takes the box with it.
no_error_box() { ! window_titled Error >/dev/null; }
MORVALA_CAMERA="$scratch/no such clip.mp4" "$morvala" 2>"$scratch/err" &
program=$!
wait_for_window Error >/dev/null || fail "no error box appeared"
kill "$program"
wait_for_program
wait_for no_error_box || fail "the error box outlived the killed program"

# No display at all: one line says so, and the exit code is 1.
status=0
env -u DISPLAY MORVALA_CAMERA=synthetic "$morvala" 2>"$scratch/err" || status=$?
[ "$status" = 1 ] || fail "without a display the exit code is $status, not 1"
grep -q "cannot open a window" "$scratch/err" || fail "without a display nothing says why"

echo "program test: passed"
