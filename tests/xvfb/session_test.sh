#!/usr/bin/env bash
# scripts/session, as scripts/run starts it without a display, plays the camera that
# MORVALA_CAMERA chooses: here a still of one colour, which the screenshots must show; and
# one that cannot be opened stops it with the program's reason.
# Usage: session_test.sh MORVALA
set -euo pipefail
morvala=$1
scripts=$(dirname "$0")/../../scripts
source "$scripts/lib/xvfb.sh"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

fail() {
    echo "session test: $*" >&2
    exit 1
}

convert -size 320x240 xc:'#3060C0' "$scratch/still.png"
MORVALA_CAMERA="$scratch/still.png" "$scripts/session" "$morvala" "$scratch/shots" \
    >"$scratch/out" 2>&1 || { cat "$scratch/out" >&2; fail "the session failed"; }
for shot in collecting ready recognising-near; do
    # A corner that no text or rectangle covers.
    colour=$(pixel "$scratch/shots/$shot.png" 4 4)
    [ "$colour" = "#3060C0" ] || fail "$shot.png shows $colour, not the camera's #3060C0"
done
# A camera that cannot be opened: no session, and the line says why.
status=0
MORVALA_CAMERA="$scratch/missing.png" "$scripts/session" "$morvala" "$scratch/none" \
    >"$scratch/out" 2>&1 || status=$?
[ "$status" = 1 ] || fail "with a missing camera the session ended with $status, not 1"
grep -q "missing.png: cannot open" "$scratch/out" || fail "the camera's reason is missing"
grep -q "stopped at an error box" "$scratch/out" || fail "the session does not say it stopped"
echo "session test: passed"
