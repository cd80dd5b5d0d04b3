#!/usr/bin/env bash
# End to end, as a person would: Xvfb with openbox, the simulated modem recording what it
# receives, the program started without arguments; then clicks on "NetMonitor" (cells within
# three seconds), "On SAR/PA", "Capture" (its message dismissed with Return, the JPEG looked at),
# "Exit", "NetMonitor" again (a new monitor opens the port anew and shows cells), "Exit" and
# "Quit". The simulator's record must hold exactly these frames, in order, and the program must
# exit with 0.
# Usage: e2e.sh NORVANE NORVANE_SIM E2E_FRAMES
set -uo pipefail
NORVANE=$(realpath "$1") SIM=$(realpath "$2") FRAMES=$(realpath "$3")

for tool in Xvfb openbox xdotool xprop import convert identify; do
    command -v "$tool" >/dev/null || { echo "SKIP: no $tool (scripts/setup.sh installs it)"; exit 77; }
done

# Under a real X server the sanitizers' leak check at exit can crash on the threads the X and
# D-Bus client libraries leave behind; leaks are checked by the offscreen tiers.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"

TMP=$(mktemp -d /tmp/norvane-e2e-XXXXXX)
PIDS=()
cleanup() {  # only what this script started, newest first; the temporary directory
    for ((i = ${#PIDS[@]} - 1; i >= 0; i--)); do
        kill "${PIDS[i]}" 2>/dev/null && wait "${PIDS[i]}" 2>/dev/null
    done
    rm -rf "$TMP"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*"
    for log in "$TMP"/*.log; do
        [[ -s $log ]] && { echo "--- $(basename "$log")"; tail -n 40 "$log"; }
    done
    exit 1
}

now_ms() { date +%s%3N; }

# wait_for SECONDS COMMAND...: runs COMMAND every 50 ms until it succeeds.
wait_for() {
    local deadline=$(($(now_ms) + $1 * 1000))
    shift
    until "$@" >/dev/null 2>&1; do
        (($(now_ms) < deadline)) || return 1
        sleep 0.05
    done
}

# The visible top-level window whose title matches the regular expression exactly.
window() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1; }
has_window() { [[ -n $(window "$1") ]]; }
no_window() { [[ -z $(window "$1") ]]; }
geometry() { xdotool getwindowgeometry --shell "$1" | sed -n "s/^$2=//p"; }

# Dialog units to pixels as the dialog framework maps them: base units 6 x 13 at 96 dpi, scaled
# by the screen's dpi, read off the window's width (set_scale WINDOW TEMPLATE_WIDTH_IN_DU).
set_scale() { SCALE=$(awk -v w="$(geometry "$1" WIDTH)" -v du="$2" 'BEGIN { print w / (du * 1.5) }'); }
du_x() { awk -v u="$1" -v s="$SCALE" 'BEGIN { printf "%.0f", u * 1.5 * s }'; }
du_y() { awk -v u="$1" -v s="$SCALE" 'BEGIN { printf "%.0f", u * 13 / 8 * s }'; }

# click WINDOW MENU_HEIGHT X Y W H: a left click in the middle of the control at (X, Y, W, H)
# dialog units of the window's client area, which starts below the menu bar.
click() {
    xdotool mousemove --window "$1" $(($(du_x "$3") + $(du_x "$5") / 2)) \
        $(($2 + $(du_y "$4") + $(du_y "$6") / 2)) click 1
}

# Pixels of the first RSCP bar's green in an image: there are cells once it has any.
green_pixels() {
    convert "$1" -fuzz 20% -fill black +opaque '#00FF00' -fill white -opaque '#00FF00' \
        -format '%[fx:int(mean*w*h+0.5)]' info:
}

# start_x: Xvfb on a free display (it picks the number itself) and openbox on it.
start_x() {
    exec 3>"$TMP/displayfd"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp >"$TMP/xvfb.log" 2>&1 &
    PIDS+=($!)
    exec 3>&-
    wait_for 20 grep -q . "$TMP/displayfd" || fail "Xvfb did not start"
    export DISPLAY=":$(head -n 1 "$TMP/displayfd")"
    openbox --sm-disable >"$TMP/openbox.log" 2>&1 &
    PIDS+=($!)
    wait_for 20 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"' ||
        fail "openbox did not start"
}

start_x

# The simulated modem on its default link, which the program preselects; the program in a
# working directory of its own, where the capture file lands.
export XDG_RUNTIME_DIR="$TMP/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR" "$TMP/work"
"$SIM" --record "$TMP/record.bin" --seed 11 >"$TMP/sim.log" 2>&1 &
PIDS+=($!)
wait_for 10 test -L "$XDG_RUNTIME_DIR/norvane-sim" || fail "norvane-sim published no link"
(cd "$TMP/work" && exec "$NORVANE") >"$TMP/norvane.log" 2>&1 &
APP=$!
PIDS+=($APP)
wait_for 30 has_window "Norvane UMTS" || fail "no start window"
START=$(window "Norvane UMTS")
set_scale "$START" 348
START_MENU=$(($(geometry "$START" HEIGHT) - $(du_y 293)))
((START_MENU > 0)) || fail "the start window has no menu bar"

MONITOR="Norvane NetMonitor UMTS V.1.00 beta"
seen_cells() { import -window "$MON" "$TMP/monitor.png" && (($(green_pixels "$TMP/monitor.png") > 50)); }
net_monitor() {
    local clicked=$(now_ms)
    set_scale "$START" 348
    click "$START" "$START_MENU" 150 270 70 13
    wait_for 10 has_window "$MONITOR" || fail "no monitor window"
    MON=$(window "$MONITOR")
    set_scale "$MON" 376
    wait_for 3 seen_cells || fail "no cells in the monitor within 3 s of the click"
    echo "cells shown $(($(now_ms) - clicked)) ms after the click on NetMonitor"
}
exit_monitor() {
    click "$MON" 0 312 306 54 12
    wait_for 10 no_window "$MONITOR" || fail "Exit left the monitor open"
}
net_monitor

click "$MON" 0 72 306 54 12   # On SAR/PA
click "$MON" 0 252 306 54 12  # Capture
wait_for 10 has_window norvane || fail "no message after Capture"
xdotool windowactivate --sync "$(window norvane)" key Return
wait_for 10 no_window norvane || fail "the capture message did not close on Return"
JPG="$TMP/work/NetMonitor.JPG"
read -r jw jh < <(identify -format '%w %h\n' "$JPG") || fail "no image in NetMonitor.JPG"
mw=$(du_x 376) mh=$(du_y 330)
((jw >= mw && jw <= mw + 40 && jh >= mh && jh <= mh + 80)) ||
    fail "NetMonitor.JPG is ${jw}x${jh}, the monitor ${mw}x${mh} without its frame"
(($(green_pixels "$JPG") > 50)) || fail "NetMonitor.JPG shows no cells"

exit_monitor
net_monitor
exit_monitor
set_scale "$START" 348
click "$START" "$START_MENU" 258 270 70 13  # Quit
wait_for 30 sh -c "! kill -0 $APP" || fail "Quit did not end the program"
wait "$APP"
status=$?
((status == 0)) || fail "the program exited with $status"

"$FRAMES" probe "ON Cell RSSI" ON_AGC ON_AGC1 ON_AGC2 ON_AGC3 OFF_AGC "OFF Cell RSSI" flag \
    probe "ON Cell RSSI" OFF_AGC "OFF Cell RSSI" flag >"$TMP/expected.bin" || fail "e2e_frames failed"
same_record() { cmp -s "$TMP/expected.bin" "$TMP/record.bin"; }
if ! wait_for 3 same_record; then
    echo "expected: $(od -An -tx1 -v "$TMP/expected.bin" | tr -d '\n')"
    echo "recorded: $(od -An -tx1 -v "$TMP/record.bin" | tr -d '\n')"
    fail "the simulator's record differs from the session's frames"
fi
echo "PASS"
