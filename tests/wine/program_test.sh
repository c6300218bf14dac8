#!/usr/bin/env bash
# The Windows executable under Wine on a virtual display, driven as a user would:
#   - the engine's tests pass;
#   - with no camera: the error box, dismissed with Return, and exit code 1;
#   - a whole session with the stand-in capture driver: the window, eight space presses, the
#     distance and the square, then the close button and exit code 0; the same pictures give
#     the Linux program's distance text to the character and its pixels outside the text;
#   - a driver that goes quiet: the window still answers, and shows the last frame.
# Usage: program_test.sh BUILD-WINDOWS SAME-FRAMES-SESSION CLOSE-REQUEST-PROGRAM
# WINEPREFIX must name a prepared Wine prefix.
set -euo pipefail
build=$1
same_frames_session=$2
close_request=$3
source "$(dirname "$0")/../../scripts/lib/xvfb.sh"

begin_program_test "wine test"
stop_more() { wineserver -k 2>/dev/null || true; }

fail() {
    echo "wine test: $*" >&2
    echo "--- the program's stderr, without Wine's traces:" >&2
    grep -v ':trace:' "$scratch/err" >&2 2>/dev/null || true
    echo "--- the last texts it drew:" >&2
    drawn_texts 2>/dev/null | tail -n 5 >&2 || true
    exit 1
}

# Up to a minute for whatever Wine does: under emulation it is slow to start and to draw.
wait_long() {
    wait_for "$@" || wait_for "$@" || wait_for "$@"
}

# Tries a command up to $1 times.
retry() {
    local attempt
    for attempt in $(seq "$1"); do
        "${@:2}" && return 0
    done
    return 1
}

wait_for_program() {
    timeout 60 tail --pid="$program" -f /dev/null || fail "the program did not end"
    status=0
    wait "$program" || status=$?
    program=
}

# The strings Wine's DrawText was given, one a line, oldest first (from its "text" trace).
drawn_texts() {
    sed -n 's/.*:trace:text:DrawTextExW L"\([^"]*\)".*/\1/p' "$scratch/err"
}
text_drawn() {
    drawn_texts | grep -qxF "$1"
}

# The program with the stand-in driver beside it; the driver reads $scratch/control.
export MORVALA_TEST_DRIVER_CONTROL="Z:$scratch/control"
export MORVALA_TEST_DRIVER_STATUS="Z:$scratch/status"
mkdir "$scratch/with-driver"
cp "$build/morvala.exe" "$build/test-driver/avicap32.dll" "$scratch/with-driver/"
# Each is written whole, so the driver never reads half a file.
tell_driver() {
    printf '%s\n' "$@" >"$scratch/control.new"
    mv "$scratch/control.new" "$scratch/control"
}
delivered() {
    sed -n 's/^delivered \([0-9]*\)$/\1/p' "$scratch/status" 2>/dev/null
}
start_with_driver() {
    WINEDEBUG=-all,+text WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-};avicap32=n" \
        wine "$scratch/with-driver/morvala.exe" 2>"$scratch/err" &
    program=$!
    window=$(wait_long window_titled Morvala) || fail "no window titled Morvala appeared"
}

# The client area of the window, as a picture file $1. Wine leaves the frame and caption to
# the window manager, so the window is the client area.
client_shot() {
    import -window "$window" "$1"
}

# How many pixels of the region $3 (WxH+X+Y) differ between the pictures $1 and $2.
differing_pixels() {
    convert "$1" -crop "$3" +repage "$scratch/first.ppm"
    convert "$2" -crop "$3" +repage "$scratch/second.ppm"
    compare -metric AE "$scratch/first.ppm" "$scratch/second.ppm" null: 2>&1 || true
}

start_virtual_display "$scratch" || fail "no virtual display"
# One Wine server for every run: a program started while the last one's server is shutting
# down can wait on it without end.
wineserver -p

echo "wine test: the engine's tests"
(cd "$build/tests" && WINEDEBUG=-all wine engine_tests.exe) >"$scratch/engine.out" 2>&1 ||
    { tail -n 30 "$scratch/engine.out" >&2; fail "engine_tests.exe failed"; }
grep -E '^\[  PASSED  \] [0-9]+ tests?\.' "$scratch/engine.out" || fail "engine_tests.exe passed no test"

echo "wine test: no camera"
WINEDEBUG=-all,+text wine "$build/morvala.exe" 2>"$scratch/err" &
program=$!
box=$(wait_long window_titled Error) || fail "no error box appeared"
wait_long text_drawn "Error: cannot connect to camera!" || fail "the box does not say it"
xdotool key --window "$box" Return 2>/dev/null
wait_for_program
[ "$status" = 1 ] || fail "dismissing the box ended with exit code $status, not 1"

echo "wine test: a session with the stand-in driver"
pictures=(3 11 12 13 14 15 16 17 42)
tell_driver "picture ${pictures[0]}"
start_with_driver
xwininfo -id "$window" >"$scratch/info"
grep -q 'Width: 320$' "$scratch/info" || fail "the client area is not 320 wide"
grep -q 'Height: 240$' "$scratch/info" || fail "the client area is not 240 high"
xdotool windowfocus --sync "$window"
# Each press grabs the picture told before it; the prompt that follows shows it was taken.
prompts=("Press space 6 more times." "Press space 5 more times." "Press space 4 more times."
    "Press space 3 more times." "Press space 2 more times." "Press space 1 more time."
    "Press space to start recognition.")
wait_long text_drawn "Press space 7 more times." || fail "no first prompt"
for press in 1 2 3 4 5 6 7; do
    tell_driver "picture ${pictures[$press]}"
    xdotool key space
    wait_long text_drawn "${prompts[$((press - 1))]}" || fail "press $press was not taken"
done
tell_driver "picture ${pictures[8]}"
xdotool key space
# Two refreshes drew the distance: the second one surely over the last picture.
distance_drawn() {
    [ "$(drawn_texts | grep -cxE -- '-?[0-9]+\.[0-9]{6}')" -ge 2 ]
}
wait_long distance_drawn || fail "after eight presses no distance is drawn"
wine_distance=$(drawn_texts | tail -n 1)
# The square drawn around the patch in one colour, red with equal green and blue. A shot may
# catch a refresh half-drawn: another is taken then.
square_shown() {
    client_shot "$scratch/wine.png"
    colour=$(pixel "$scratch/wine.png" 94 100)
    [[ "$colour" =~ ^#FF([0-9A-F]{2})([0-9A-F]{2})$ ]] &&
        [ "${BASH_REMATCH[1]}" = "${BASH_REMATCH[2]}" ] || return 1
    local point
    for point in "224 100" "150 54" "150 184" "95 150" "223 150"; do
        [ "$(pixel "$scratch/wine.png" $point)" = "$colour" ] || return 1
    done
}
retry 20 square_shown || fail "no square in one colour around the patch: $colour at x 94"
# The distance: white text at the bottom right.
[ "$(pixels_of_colour "$scratch/wine.png" '#FFFFFF' 120x20+200+220)" -ge 20 ] ||
    fail "no white text at the bottom right"
"$close_request" "$window"
wait_for_program
[ "$status" = 0 ] || fail "closing the window ended with exit code $status, not 0"

echo "wine test: the same pictures on Linux"
linux_distance=$("$same_frames_session" "${pictures[@]}" "$scratch/linux.ppm") ||
    fail "the Linux session failed"
echo "wine test: distance on Linux $linux_distance, on Wine $wine_distance"
[ "$linux_distance" = "$wine_distance" ] ||
    fail "the distance differs: $linux_distance on Linux, $wine_distance on Wine"
# Every pixel but the corner the text is drawn in.
for region in 320x220+0+0 200x20+0+220; do
    differing=$(differing_pixels "$scratch/linux.ppm" "$scratch/wine.png" "$region")
    [ "$differing" = 0 ] || fail "$differing pixels differ from Linux's in $region"
done

echo "wine test: a driver that goes quiet after three frames"
rm -f "$scratch/status"
tell_driver "picture 5" "deliveries 3"
start_with_driver
wait_long text_drawn "Press space 7 more times." || fail "no first prompt"
xdotool windowfocus --sync "$window"
# More refreshes than frames: the grabs past the third are never answered.
refreshed_often() {
    [ "$(drawn_texts | grep -cxF 'Press space 7 more times.')" -ge 10 ]
}
wait_long refreshed_often ||
    fail "the window stopped refreshing when the driver went quiet"
[ "$(delivered)" = 3 ] || fail "the driver delivered $(delivered) frames, not 3"
xdotool key space
wait_long text_drawn "Press space 6 more times." || fail "the window did not answer a press"
client_shot "$scratch/quiet.png"
"$same_frames_session" 5 5 5 5 5 5 5 5 5 "$scratch/linux-5.ppm" >/dev/null ||
    fail "the Linux session failed"
# Above the square nothing is drawn over the picture.
differing=$(differing_pixels "$scratch/linux-5.ppm" "$scratch/quiet.png" 320x50+0+0)
[ "$differing" = 0 ] || fail "the last frame is not shown: $differing pixels differ at the top"
"$close_request" "$window"
wait_for_program
[ "$status" = 0 ] || fail "closing the window ended with exit code $status, not 0"
echo "wine test: all passed"
