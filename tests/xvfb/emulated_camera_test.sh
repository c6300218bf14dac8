#!/usr/bin/env bash
# The real program on a virtual display with the emulated webcam as /dev/video0, as a new user
# with a 1280x720 Motion-JPEG camera would run it: the card upright in its colours and round,
# damaged frames passed over without a word, an unplug and replug, and a camera gone silent.
# Usage: emulated_camera_test.sh MORVALA CLOSE-REQUEST-PROGRAM EMULATED-CAMERA-LIBRARY
#        [SANITIZER-RUNTIME, which must be preloaded first]
set -euo pipefail
morvala=$1
close_request=$2
camera_library=$3
preload=$camera_library
[ $# -ge 4 ] && preload="$4:$camera_library"
source "$(dirname "$0")/../../scripts/lib/xvfb.sh"

begin_program_test "emulated camera test"

start_virtual_display "$scratch" || fail "no virtual display"
control=$scratch/control

# Starts the program with the emulated webcam set up by $1 and sets `window`.
start_program() {
    echo plugged >"$control"
    # Named, so that a PipeWire session's camera, which comes first, cannot stand in for it.
    MORVALA_CAMERA=/dev/video0 EMULATED_CAMERA="device=/dev/video0 control=$control $1" \
        LD_PRELOAD="$preload" "$morvala" 2>"$scratch/err" &
    program=$!
    window=$(wait_for_window Morvala) || fail "no window titled Morvala appeared"
}

# Closes the window and expects the program to end with exit code 0.
close_program() {
    "$close_request" "$window"
    timeout 10 tail --pid="$program" -f /dev/null || fail "the program did not end"
    local status=0
    wait "$program" || status=$?
    program=
    [ "$status" = 0 ] || fail "closing the window ended with exit code $status, not 0"
}

start_program "mode=mjpeg720 damaged-every=5 damaged-as=short"

# The card: red, green, blue and white quadrants (read clear of the prompt and the ring), and
# the ring as wide as it is high.
shot=$scratch/card.png
# Near enough: JPEG and scaling leave a colour a few steps off.
close_to() { # $1 #RRGGBB, $2 #RRGGBB: each channel within 40
    local a=$1 b=$2 i
    for i in 1 3 5; do
        local x=$((16#${a:i:2})) y=$((16#${b:i:2}))
        [ $((x > y ? x - y : y - x)) -le 40 ] || return 1
    done
}
card_shown() {
    import -window "$window" "$shot" &&
        close_to "$(pixel "$shot" 20 20)" "#FF0000" && close_to "$(pixel "$shot" 300 20)" "#00FF00" &&
        close_to "$(pixel "$shot" 20 200)" "#0000FF" && close_to "$(pixel "$shot" 300 180)" "#FFFFFF"
}
wait_for card_shown || fail "the card is not shown upright in its colours: $(pixel "$shot" 20 20) \
$(pixel "$shot" 300 20) $(pixel "$shot" 20 200) $(pixel "$shot" 300 180)"
# The ring's outer extent along the centre row and column, in dark pixels.
across=$(convert "$shot" -crop 320x1+0+120 -depth 8 txt:- |
    awk '/#[0-4][0-9A-F][0-4][0-9A-F][0-4][0-9A-F] / { split($1, p, ","); x = p[1] + 0;
         if (first == "") first = x; last = x } END { print last - first + 1 }')
down=$(convert "$shot" -crop 1x240+160+0 -depth 8 txt:- |
    awk '/#[0-4][0-9A-F][0-4][0-9A-F][0-4][0-9A-F] / { split($1, p, ","); y = p[2] + 0;
         if (first == "") first = y; last = y } END { print last - first + 1 }')
[ "$down" -ge 160 ] && [ "$down" -le 176 ] || fail "the ring is $down high, not about 168"
[ $((across - down)) -le 4 ] && [ $((down - across)) -le 4 ] ||
    fail "the ring is $across across but $down high: the picture is distorted"

# Every fifth frame damaged: nothing is said, nothing reopened.
sleep 2
grep -q "camera" "$scratch/err" && fail "damaged frames were taken for a lost camera"

# Unplugged: said once, the last good picture stays; replugged: back.
echo unplugged >"$control"
said() { grep -qx "$1" "$scratch/err"; }
times_said() { [ "$(grep -c "$1" "$scratch/err")" = "$2" ]; }
wait_for said "morvala: camera /dev/video0: no picture, reopening" || fail "the unplug is not said"
card_shown || fail "the last good picture is not kept while the camera is away"
sleep 1.5
times_said "no picture, reopening" 1 || fail "the unplug is said twice"
echo plugged >"$control"
wait_for said "morvala: camera /dev/video0: back" || fail "the replug is not said"

# Silent for 3 s: after 2 s it is taken for lost and reopened; back once pictures come again.
echo silent >"$control"
wait_for times_said "no picture, reopening" 2 ||
    fail "a silent camera is not taken for lost"
times_said ": back" 1 || fail "\"back\" is said while the camera is silent"
echo plugged >"$control"
wait_for times_said ": back" 2 || fail "the camera does not come back"
card_shown || fail "the card is not shown after the camera came back"

close_program

# A camera whose first frame after each start is damaged, and one whose first frame comes
# 2.5 s after the start: the card comes, and nothing is said.
for config in "mode=yuyv640 first-damaged" "mode=yuyv640 slow-first-ms=2500"; do
    start_program "$config"
    wait_for card_shown || fail "$config: the card is not shown"
    sleep 1
    grep -q "camera" "$scratch/err" && fail "$config: taken for a lost camera"
    close_program
done
echo "emulated camera test: passed"
