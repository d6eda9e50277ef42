#!/usr/bin/env bash
# scripts/run as on a machine without a display: it must end by itself with status 0 and
# leave the window's screenshot and the board's log of the whole first melody.
# Usage: check-run.sh SCRIPTS_RUN BUILD_DIR OUT_DIR
set -euo pipefail
run=$1 build_dir=$2 out=$3

rm -rf "$out"
env -u DISPLAY -u WAYLAND_DISPLAY HORAVOX_REAL_BOARD= \
    "$run" --headless --build-dir "$build_dir" --out "$out"

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
shot=$out/horavox-window.png
log=$out/board.log
[ -s "$shot" ] || fail "no screenshot at $shot"
file -b "$shot" | grep -q '^PNG image data, [0-9]* x [0-9]*' || fail "$shot is no PNG"
# The window, not the whole screen.
size=$(identify -format '%w %h' "$shot" 2>/dev/null || true)
read -r w h <<<"${size:-0 0}"
{ [ "$w" -ge 300 ] && [ "$w" -le 500 ] && [ "$h" -ge 200 ] && [ "$h" -le 400 ]; } ||
    fail "screenshot is $w x $h"
# More than one colour: something was drawn.
[ "$(identify -format '%k' "$shot" 2>/dev/null || echo 0)" -gt 2 ] || fail "screenshot is blank"
[ -s "$log" ] || fail "no board log at $log"
grep -q '^clock 07:00:' "$log" || fail "the board's clock never reached 07:00"
notes=$(grep -cE '^note [0-9]+\.[0-9]{3} ([1-9]|1[0-9]|2[01]) [LMH][1-7]$' "$log" || true)
[ "$notes" -eq 21 ] || fail "the log lists $notes notes, not 21"
grep -qE '^note [0-9]+\.[0-9]{3} 0 end$' "$log" || fail "the log has no closing end line"
grep -qE '^melody 1 notes 21 seconds [0-9.]+ wav ' "$log" || fail "the log has no melody summary"
[ "$(tail -n 1 "$log")" = stopped ] || fail "the board did not stop cleanly"
if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "ok: $shot (${w}x${h}), $log ($notes notes)"
