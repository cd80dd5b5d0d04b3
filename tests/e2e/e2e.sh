#!/usr/bin/env bash
# End to end, as a person would: a real X server (Xvfb) with a window manager (openbox), the
# simulated modem recording what it receives, the program started without arguments; then
# mouse clicks on "NetMonitor", cells seen in the window within three seconds, "On SAR/PA",
# "Capture" (its message dismissed with Return, the JPEG looked at), "Exit" and "Quit". The
# simulator's record must hold exactly the frames of that session, in order, and the program
# must exit with 0.
#
# Usage: e2e.sh NORVANE NORVANE_SIM E2E_FRAMES
set -uo pipefail

NORVANE=$(realpath "$1")
SIM=$(realpath "$2")
FRAMES=$(realpath "$3")

source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
start_x

# --- the simulated modem on its default link, which the program preselects
export XDG_RUNTIME_DIR="$TMP/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
"$SIM" --record "$TMP/record.bin" --seed 11 >"$TMP/sim.log" 2>&1 &
PIDS+=($!)
wait_for 10 test -L "$XDG_RUNTIME_DIR/norvane-sim" || fail "norvane-sim published no link"

# --- the program, in a working directory of its own (the capture file lands there)
mkdir "$TMP/work"
(cd "$TMP/work" && exec "$NORVANE") >"$TMP/norvane.log" 2>&1 &
APP=$!
PIDS+=($APP)
wait_for 30 has_window "Norvane UMTS" || fail "no start window"
START=$(window "Norvane UMTS")
set_scale "$START" 348
START_H=$(xdotool getwindowgeometry --shell "$START" | sed -n 's/^HEIGHT=//p')
START_MENU=$((START_H - $(du_y 293)))
((START_MENU > 0)) || fail "the start window has no menu bar"

# --- "NetMonitor": the monitor opens and shows cells within three seconds
clicked=$(now_ms)
click "$START" "$START_MENU" 150 270 70 13
wait_for 10 has_window "Norvane NetMonitor UMTS V.1.00 beta" || fail "no monitor window"
MON=$(window "Norvane NetMonitor UMTS V.1.00 beta")
echo "monitor shown $(($(now_ms) - clicked)) ms after the click on NetMonitor"
set_scale "$MON" 376
seen_cells() {
    import -window "$MON" "$TMP/monitor.png" && (($(green_pixels "$TMP/monitor.png") > 50))
}
wait_for 3 seen_cells || fail "no cells in the monitor within 3 s of the click"
echo "cells shown $(($(now_ms) - clicked)) ms after the click on NetMonitor"

# --- "On SAR/PA", then "Capture" and its message
click "$MON" 0 72 306 54 12
click "$MON" 0 252 306 54 12
wait_for 10 has_window norvane || fail "no message after Capture"
BOX=$(window norvane)
xdotool windowactivate --sync "$BOX" key Return
wait_for 10 no_window norvane || fail "the capture message did not close on Return"
JPG="$TMP/work/NetMonitor.JPG"
[[ -s $JPG ]] || fail "Capture stored no NetMonitor.JPG"
read -r jw jh < <(identify -format '%w %h\n' "$JPG") || fail "NetMonitor.JPG is no image"
mw=$(du_x 376)
mh=$(du_y 330)
((jw >= mw && jw <= mw + 40 && jh >= mh && jh <= mh + 80)) ||
    fail "NetMonitor.JPG is ${jw}x${jh}, the monitor ${mw}x${mh} without its frame"
(($(green_pixels "$JPG") > 50)) || fail "NetMonitor.JPG shows no cells"
echo "NetMonitor.JPG: ${jw}x${jh}"

# --- "Exit", then "Quit": the program ends with 0
click "$MON" 0 312 306 54 12
wait_for 10 no_window "Norvane NetMonitor UMTS V.1.00 beta" || fail "Exit left the monitor open"
click "$START" "$START_MENU" 258 270 70 13
wait_for 30 sh -c "! kill -0 $APP" || fail "Quit did not end the program"
wait "$APP"
status=$?
((status == 0)) || fail "the program exited with $status"

# --- what the modem received: the session's frames in order, nothing else
"$FRAMES" probe "ON Cell RSSI" ON_AGC ON_AGC1 ON_AGC2 ON_AGC3 OFF_AGC "OFF Cell RSSI" flag \
    >"$TMP/expected.bin" || fail "e2e_frames failed"
same_record() { cmp -s "$TMP/expected.bin" "$TMP/record.bin"; }
if ! wait_for 3 same_record; then
    echo "expected: $(od -An -tx1 -v "$TMP/expected.bin" | tr -d '\n')"
    echo "recorded: $(od -An -tx1 -v "$TMP/record.bin" | tr -d '\n')"
    fail "the simulator's record differs from the session's frames"
fi
echo "PASS"
