# Shared by the desktop-tier scripts: a private X server with openbox, waiting, windows by
# title, clicks on dialog controls by their template rectangles, and clean-up of exactly the
# processes the script started. Source it; it sets TMP, PIDS and DISPLAY.

for tool in Xvfb openbox xdotool xprop import convert identify; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is not installed (scripts/setup.sh installs it)"
        exit 77
    fi
done

# Under a real X server the leak check at exit is left out of sanitizer builds: its tracer
# can crash on the threads the X and D-Bus client libraries leave behind, failing a run that
# passed. Memory errors are still caught; leaks are checked by the offscreen tiers.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"

TMP=$(mktemp -d /tmp/norvane-e2e-XXXXXX)
PIDS=()
cleanup() {
    # Only what this script started, newest first.
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

# Dialog units to this window's pixels, as the dialog framework maps them (base units 6 x 13
# at 96 dpi, scaled by the screen's dpi, which is read off the window's width).
SCALE=1
set_scale() {  # window, width of its template in dialog units
    local w
    w=$(xdotool getwindowgeometry --shell "$1" | sed -n 's/^WIDTH=//p')
    SCALE=$(awk -v w="$w" -v du="$2" 'BEGIN { print w / (du * 6 / 4) }')
}
du_x() { awk -v u="$1" -v s="$SCALE" 'BEGIN { printf "%.0f", u * 6 / 4 * s }'; }
du_y() { awk -v u="$1" -v s="$SCALE" 'BEGIN { printf "%.0f", u * 13 / 8 * s }'; }

# click WINDOW MENU_HEIGHT X Y W H: a left click in the middle of the control at (X, Y, W, H)
# dialog units of the window's client area, which starts below the menu bar.
click() {
    local x=$(($(du_x "$3") + $(du_x "$5") / 2))
    local y=$(($2 + $(du_y "$4") + $(du_y "$6") / 2))
    xdotool mousemove --window "$1" "$x" "$y" click 1
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
