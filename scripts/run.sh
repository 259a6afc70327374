#!/usr/bin/env bash
# Builds RM7 Utility and runs it: the desktop application where a display exists, else rm7util;
# against the radio on the saved or given port, or against the simulated radio when none is attached.
# Its arguments are passed on to the program, e.g. `bash scripts/run.sh --port /dev/ttyUSB0`. Only the
# three programs and their man pages are built (so `cmake --install` works after it); scripts/test.sh
# builds the rest.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target rm7-utility rm7util rm7-sim man
args=("$@")
radio_attached() { ls /dev/serial/by-id/* >/dev/null 2>&1; }
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    # A desktop: the desktop application; without a radio attached (no USB or ACM serial adapter),
    # against the simulated radio.
    if [ ${#args[@]} -eq 0 ] && ! radio_attached; then args=(--simulate); fi
    exec "$build/bin/rm7-utility" "${args[@]}"
fi
# No display: rm7util contacts the radio (or the simulated one) and prints what it found.
echo "No display (\$DISPLAY/\$WAYLAND_DISPLAY unset): running rm7util instead of the desktop application." >&2
if [ ${#args[@]} -eq 0 ]; then
    if radio_attached; then args=(info); else args=(--simulate info); fi
fi
exec "$build/bin/rm7util" "${args[@]}"
