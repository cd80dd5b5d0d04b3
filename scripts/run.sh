#!/usr/bin/env bash
# Sets up, builds and runs Norvane NetMonitor on the simulated modem.
#
# Starts norvane-sim (which publishes its pty where the program looks for it, so it is
# preselected) and then the program. Without a display (no DISPLAY or WAYLAND_DISPLAY) it says
# so and runs the headless monitor on the simulator in this terminal instead; stop it with
# Ctrl+C. The simulator ends with the program.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD

scripts/setup.sh
cmake -S "$ROOT" -B build -G Ninja >build.configure.log 2>&1 || { cat build.configure.log; exit 1; }
cmake --build build -j "$(nproc)" --target norvane norvane-cli norvane-sim

# In its own session, so that Ctrl+C reaches the monitor, which then switches the reports off.
setsid build/tools/norvane-sim >/dev/null 2>&1 &
SIM=$!
trap 'kill "$SIM" 2>/dev/null || true; wait "$SIM" 2>/dev/null || true' EXIT
# Wait until the simulator has published its port.
for _ in $(seq 50); do
    if build/tools/norvane-cli ports 2>/dev/null | grep -q '^\* .*Simulated'; then
        break
    fi
    sleep 0.1
done

if [[ -n ${DISPLAY:-} || -n ${WAYLAND_DISPLAY:-} ]]; then
    echo "run: starting Norvane NetMonitor on the simulated modem; press \"NetMonitor\"."
    build/app/norvane
else
    echo "run: no display (DISPLAY and WAYLAND_DISPLAY are unset): running the headless monitor"
    echo "run: on the simulated modem instead. Stop it with Ctrl+C."
    build/tools/norvane-cli monitor --sar-pa
fi
