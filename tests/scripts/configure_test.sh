#!/usr/bin/env bash
# Running needs only what scripts/setup installs by default: configured as if GoogleTest,
# Google Benchmark or X11's headers were missing, the build still has the program (and the
# session's close helper where X11 is there), and nothing that needs what is missing.
# Usage: configure_test.sh SOURCE-FOLDER
set -euo pipefail
source_folder=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

fail() {
    echo "configure test: $*" >&2
    exit 1
}

# missing packages | targets that must be there | targets that must not
cases=(
    "GTest benchmark|morvala win32_window_close|win32_tests app_bench"
    "GTest benchmark X11|morvala|win32_window_close win32_tests app_bench"
    "benchmark|morvala win32_window_close win32_tests|app_bench"
)
for case in "${cases[@]}"; do
    IFS='|' read -r missing present absent <<<"$case"
    options=()
    for package in $missing; do
        options+=("-DCMAKE_DISABLE_FIND_PACKAGE_$package=ON")
    done
    build=$scratch/build
    rm -rf "$build"
    cmake -G "Unix Makefiles" -S "$source_folder" -B "$build" "${options[@]}" \
        >"$scratch/log" 2>&1 || { cat "$scratch/log" >&2; fail "without $missing: configuring failed"; }
    targets=$(cmake --build "$build" --target help | sed -n 's/^\.\.\. \([^ ]*\).*/\1/p')
    for target in $present; do
        grep -qx "$target" <<<"$targets" || fail "without $missing: no target $target"
    done
    for target in $absent; do
        ! grep -qx "$target" <<<"$targets" || fail "without $missing: a target $target"
    done
done
echo "configure test: passed"
