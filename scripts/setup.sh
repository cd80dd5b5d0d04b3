#!/usr/bin/env bash
# Installs the Debian 12 packages needed to build, run and test Norvane NetMonitor.
# Idempotent: does nothing when everything is already there. Needs root (or sudo).
set -euo pipefail

PACKAGES=(
    # build
    build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev clang-format
    # libraries
    qt6-base-dev qt6-base-dev-tools libgl-dev libxkbcommon-dev libudev-dev
    libgtest-dev libgmock-dev libbenchmark-dev libpcap-dev libgps-dev
    # runtime: fonts, Qt platform plugins
    fonts-liberation2 qt6-qpa-plugins
    # test tiers: udev descriptions, X server, window manager, desktop tools
    umockdev libumockdev-dev xvfb xauth openbox xdotool x11-utils xclip imagemagick
    desktop-file-utils appstream
    # captures: Wireshark's command-line reader (tshark, editcap)
    tshark
    # positions: the GPS daemon and its NMEA player (gpsfake), for the drive tests and the demo
    gpsd gpsd-clients
    # the Debian package: its libraries' dependencies (dpkg-shlibdeps), its check, the manual
    # pages' renderer and the shell completion's functions
    dpkg-dev lintian man-db bash-completion
)

missing=()
for p in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if ((${#missing[@]} == 0)); then
    echo "setup: all ${#PACKAGES[@]} packages present"
    exit 0
fi

SUDO=""
if [[ $(id -u) -ne 0 ]]; then
    SUDO="sudo"
fi
echo "setup: installing ${missing[*]}"
$SUDO apt-get update -q
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
