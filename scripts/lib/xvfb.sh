# Shell helpers for running Morvala on a virtual X display; sourced, not run.

# Polls a command for up to 20 seconds: a sanitizer build on a busy machine is slow.
wait_for() {
    local attempt
    for attempt in $(seq 200); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}

# Starts Xvfb on a display number it picks itself and exports DISPLAY. $1: a scratch folder.
# The caller stops it: kill "$XVFB_PID".
start_virtual_display() {
    local scratch=$1
    # -noreset: a server resetting after its last client left refuses the next connection.
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$scratch/display" \
        2>"$scratch/xvfb.err" &
    XVFB_PID=$!
    wait_for test -s "$scratch/display" || {
        echo "Xvfb did not start: $(cat "$scratch/xvfb.err")" >&2
        return 1
    }
    export DISPLAY=":$(head -n1 "$scratch/display")"
    unset WAYLAND_DISPLAY SDL_VIDEODRIVER MORVALA_DISPLAY
}

# The id of a top-level window titled exactly $1, if there is one. (xwininfo sees the
# message boxes too, which xdotool's search does not.)
window_titled() {
    xwininfo -root -children 2>/dev/null | grep -F " \"$1\": (" | awk '{ print $1; exit }' | grep .
}

# Waits up to 20 seconds for a window titled $1 and prints its id.
wait_for_window() {
    local attempt id
    for attempt in $(seq 200); do
        id=$(window_titled "$1") && { echo "$id"; return 0; }
        sleep 0.1
    done
    return 1
}

# The colour at $2, $3 of the picture $1 (a file, or a window id), as #RRGGBB.
pixel() {
    picture "$1" -crop "1x1+$2+$3" -depth 8 txt:- | grep -o '#[0-9A-F]\{6\}' | head -n1
}

# How many pixels of the colour $2 (#RRGGBB) lie in the region $3 (WxH+X+Y) of the picture $1.
pixels_of_colour() {
    picture "$1" -crop "$3" -depth 8 txt:- | grep -c "$2" || true
}

# Converts a picture file, or a window's contents, with ImageMagick's options.
picture() {
    local source=$1
    shift
    if [ -f "$source" ]; then
        convert "$source" "$@"
    else
        import -window "$source" "$@"
    fi
}

# The frame of a test that runs a program on a virtual display: a scratch folder, the
# program's pid in $program, all of it stopped on exit, and fail(), which says why and shows
# the program's stderr ($scratch/err). $1 names the test in its messages. A test with more to
# stop defines stop_more; one with more to show defines its own fail after this.
begin_program_test() {
    program_test_name=$1
    scratch=$(mktemp -d)
    program=
    trap end_program_test EXIT
}

end_program_test() {
    [ -n "$program" ] && kill "$program" 2>/dev/null || true
    if declare -F stop_more >/dev/null; then stop_more; fi
    [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null || true
    rm -rf "$scratch"
}

fail() {
    echo "$program_test_name: $*" >&2
    echo "--- program's stderr:" >&2
    cat "$scratch/err" >&2 2>/dev/null || true
    exit 1
}
