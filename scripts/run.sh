#!/usr/bin/env bash
# Sets up, builds and runs Norvane NetMonitor's decoder on a recorded sample stream.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD

scripts/setup.sh
cmake -S "$ROOT" -B build -G Ninja >build.configure.log 2>&1 || { cat build.configure.log; exit 1; }
cmake --build build -j "$(nproc)"
build/tools/norvane-cli decode --stats tests/data/sample-stream.bin
