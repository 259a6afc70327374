#!/usr/bin/env bash
# Builds RM7 Utility and runs it: against the radio on the saved or given port, or against the
# simulated radio when none is attached.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)"
args=("$@")
if [ ${#args[@]} -eq 0 ]; then
    # No radio attached (no USB or ACM serial adapter): use the simulated radio.
    if ls /dev/serial/by-id/* >/dev/null 2>&1; then args=(info); else args=(--simulate info); fi
fi
exec "$build/bin/rm7util" "${args[@]}"
