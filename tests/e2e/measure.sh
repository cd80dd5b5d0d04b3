#!/usr/bin/env bash
# Measures, on a private Xvfb with openbox: the time from starting the program to its start
# window being mapped (RUNS starts, median and range), and the memory of the running program
# (VmRSS, VmHWM) with the monitor open on norvane-sim and showing cells. Prints the figures;
# asserts nothing (speed is measured, not tested).
# Usage: measure.sh NORVANE NORVANE_SIM [RUNS]
set -uo pipefail
NORVANE=$(realpath "$1")
SIM=$(realpath "$2")
RUNS=${3:-9}

source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
start_x
export XDG_RUNTIME_DIR="$TMP/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
"$SIM" --seed 11 >"$TMP/sim.log" 2>&1 &
PIDS+=($!)
wait_for 10 test -L "$XDG_RUNTIME_DIR/norvane-sim" || fail "norvane-sim published no link"
mkdir "$TMP/work"
cd "$TMP/work" || exit 1

# Start-up: launch to the start window mapped, then Esc ends the program.
times=()
for ((run = 0; run < RUNS; run++)); do
    t0=$(now_ms)
    "$NORVANE" >"$TMP/norvane.log" 2>&1 &
    app=$!
    # A tight poll: xdotool's own --sync waits in half-second steps.
    until has_window "Norvane UMTS"; do
        (($(now_ms) - t0 < 30000)) || fail "no start window"
        sleep 0.01
    done
    times+=($(($(now_ms) - t0)))
    xdotool windowactivate --sync "$(window "Norvane UMTS")" key Escape
    wait "$app"
done
sorted=($(printf '%s\n' "${times[@]}" | sort -n))
echo "start to start window shown: median ${sorted[RUNS / 2]} ms" \
    "(min ${sorted[0]}, max ${sorted[RUNS - 1]}, $RUNS runs: ${times[*]})"

# Memory with the monitor open on the simulator, showing cells.
"$NORVANE" >"$TMP/norvane.log" 2>&1 &
APP=$!
PIDS+=($APP)
wait_for 30 has_window "Norvane UMTS" || fail "no start window"
START=$(window "Norvane UMTS")
vm() { awk -v k="$1:" '$1 == k { print $2 " " $3 }' "/proc/$APP/status"; }
echo "start window only: VmRSS $(vm VmRSS)"
set_scale "$START" 348
START_MENU=$(($(xdotool getwindowgeometry --shell "$START" | sed -n 's/^HEIGHT=//p') - $(du_y 293)))
click "$START" "$START_MENU" 150 270 70 13
wait_for 10 has_window "Norvane NetMonitor UMTS V.1.00 beta" || fail "no monitor window"
MON=$(window "Norvane NetMonitor UMTS V.1.00 beta")
seen_cells() {
    import -window "$MON" "$TMP/monitor.png" && (($(green_pixels "$TMP/monitor.png") > 50))
}
wait_for 5 seen_cells || fail "no cells"
sleep 5  # a few reports later
echo "monitor open on the simulator: VmRSS $(vm VmRSS), VmHWM $(vm VmHWM), threads" \
    "$(awk '$1 == "Threads:" { print $2 }' "/proc/$APP/status")"
