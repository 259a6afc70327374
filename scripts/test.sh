#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer and runs the whole suite.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/check-format.sh
build=${BUILD_DIR:-build-test}
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DRM7_SANITIZE=ON -DRM7_BENCHMARKS=OFF "${launcher[@]}"
cmake --build "$build" -j"$(nproc)"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" --timeout 600

# The serial port's listener thread under ThreadSanitizer.
tsan=${TSAN_BUILD_DIR:-build-tsan}
cmake -S . -B "$tsan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DRM7_TSAN=ON -DRM7_GUI=OFF -DRM7_BENCHMARKS=OFF \
    "${launcher[@]}" >/dev/null
cmake --build "$tsan" -j"$(nproc)" --target serial_port_pty_test tty_test rm7-sim
TSAN_OPTIONS=halt_on_error=1 ctest --test-dir "$tsan" --output-on-failure -R 'SerialPortPty|Tty' --timeout 600

# rm7util for Windows, cross-built and run under Wine (RM7_WINDOWS_STAGE=0 leaves it out).
if [ "${RM7_WINDOWS_STAGE:-1}" != 0 ]; then
    bash scripts/test-windows.sh "$build"
fi
