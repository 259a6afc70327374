#!/usr/bin/env bash
# The Windows stage of the test command: rm7util.exe and the core's unit tests cross-built with
# mingw-w64 and run under Wine, rm7util.exe against rm7-sim from the Linux build through a Wine COM
# port mapped to the simulator's pty. Usage: test-windows.sh LINUX_BUILD_DIR
set -euo pipefail
cd "$(dirname "$0")/.."
linux_build=${1:?the Linux build folder, which holds bin/rm7-sim and bin/rm7util}
win=${WIN_BUILD_DIR:-build-win}
start=$SECONDS
bash scripts/deps.sh --windows

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$win" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release \
    "${launcher[@]}" >/dev/null
# The unit tests of what Windows runs differently or links in its own way; the logic above the
# platform is the same code the Linux stage tests.
win_tests=(text_test manual_pump_test last_error_test settings_test contact_test)
cmake --build "$win" -j"$(nproc)" --target rm7util "${win_tests[@]}"

# The delivery: rm7util-<version>-win64.zip with the program and its README.
(cd "$win" && cpack >/dev/null)
zip_file=$(ls "$win"/rm7util-*-win64.zip)
python3 -c 'import sys, zipfile; names = set(zipfile.ZipFile(sys.argv[1]).namelist())
sys.exit(0 if {"rm7util.exe", "README.txt"} <= names else "the zip lacks the program or its README")' "$zip_file"

scratch=$(mktemp -d)
sim_pid=
cleanup() {
    declare -F stop_sim >/dev/null && stop_sim  # a failure before it was defined
    wineserver -k 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT
export WINEPREFIX="$scratch/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wineboot -i >/dev/null 2>&1
wineserver -p 60 || true  # one server for the whole stage, not one per program

tests_regex=$(IFS='|'; echo "^(${win_tests[*]})\$")
ctest --test-dir "$win" --output-on-failure -R "$tests_regex" --timeout 300

exe="$(pwd)/$win/bin/rm7util.exe"
failures=0
check() {  # check DESCRIPTION COMMAND...: runs a check, says how it went
    local what=$1
    shift
    if "$@"; then
        echo "ok   $what"
    else
        echo "FAIL $what"
        failures=$((failures + 1))
    fi
}
# rm7util.exe with its output in $scratch/out and $scratch/err.
util() { wine "$exe" "$@" >"$scratch/out" 2>"$scratch/err"; }
# Starts rm7-sim with these options and maps COM5 to its pty.
start_sim() {
    declare -F stop_sim >/dev/null && stop_sim  # a failure before it was defined
    "$linux_build/bin/rm7-sim" "$@" >"$scratch/sim.out" 2>"$scratch/sim.err" &
    sim_pid=$!
    local device=
    for _ in $(seq 100); do
        device=$(head -n1 "$scratch/sim.out" 2>/dev/null || true)
        [ -n "$device" ] && break
        sleep 0.1
    done
    [ -n "$device" ] || { echo "rm7-sim gave no device" >&2; return 1; }
    ln -sfn "$device" "$WINEPREFIX/dosdevices/com5"
}
stop_sim() {
    if [ -n "$sim_pid" ]; then
        kill "$sim_pid" 2>/dev/null || true
        wait "$sim_pid" 2>/dev/null || true
        sim_pid=
    fi
}
json_is() {  # json_is KEY VALUE: the JSON in $scratch/out has KEY equal to VALUE (as JSON)
    python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); sys.exit(0 if d[sys.argv[2]]==json.loads(sys.argv[3]) else 1)' \
        "$scratch/out" "$1" "$2"
}

# In-process simulation: no pty needed.
simulate_info() { util --simulate info --json && json_is device '"RM7"' && json_is serial_number 1234; }
check "--simulate info" simulate_info

# The speed search through COM5: the radio at 9600 bit/s is found from 38400 down.
contact() {
    start_sim --speed 9600 --serial 300 --mcu 02.88 --dsp 10.00 &&
        util --port COM5 info --json && json_is speed 9600 && json_is serial_number 300 &&
        json_is mcu_version '"02.88"' && grep -q "Connected to RM7 on COM5 at 9600" "$scratch/err"
}
# Through a COM port mapped to rm7-sim's pty (RM7_WINE_COM_CHECKS=0 leaves them out).
if [ "${RM7_WINE_COM_CHECKS:-1}" = 1 ]; then
check "contact with the speed search on COM5" contact
if [ -s "$scratch/out" ]; then
    util --port COM5 info || true
    echo "--- rm7util.exe --port COM5 info (rm7-sim at 9600 bit/s):"
    cat "$scratch/err" "$scratch/out"
    echo "---"
fi

# An MCU load: the radio's flash after it is the same, byte for byte, as after the Linux build's load.
mcu_load() {
    "$linux_build/bin/rm7-sim" --make-firmware "$scratch/fw" >/dev/null &&
        mkdir -p "$scratch/dump-win" "$scratch/dump-linux" &&
        start_sim --flash-dump "$scratch/dump-win" &&
        util --port COM5 --yes --no-backup firmware send --mcu "Z:$scratch/fw/fmcu0300.hex" &&
        start_sim --flash-dump "$scratch/dump-linux" &&
        "$linux_build/bin/rm7util" --port "$(head -n1 "$scratch/sim.out")" --yes --no-backup firmware send \
            --mcu "$scratch/fw/fmcu0300.hex" >/dev/null 2>&1 &&
        test -s "$scratch/dump-win/mcu.bin" && cmp "$scratch/dump-win/mcu.bin" "$scratch/dump-linux/mcu.bin"
}
check "MCU load with the exact image" mcu_load

# A configuration saved from a radio whose EEPROM holds varied bytes, restored into a blank one,
# reads back the same there, and differs from what the blank radio held.
config_save_restore() {
    python3 -c 'import random, sys
b = bytearray(random.Random(7).getrandbits(8) for _ in range(33792))
b[0x83FA:0x83FC] = (300).to_bytes(2, "big")
open(sys.argv[1], "wb").write(b)' "$scratch/a.eeprom" &&
        start_sim --serial 300 --eeprom "$scratch/b.eeprom" &&
        "$linux_build/bin/rm7util" --port "$(head -n1 "$scratch/sim.out")" --yes config save "$scratch/blank.cfg" \
            >/dev/null 2>&1 &&
        start_sim --serial 300 --eeprom "$scratch/a.eeprom" &&
        util --port COM5 --yes config save "Z:$scratch/a.cfg" &&
        start_sim --serial 300 --eeprom "$scratch/b.eeprom" &&
        util --port COM5 --yes --no-backup config restore "Z:$scratch/a.cfg" &&
        util --port COM5 --yes config save "Z:$scratch/b.cfg" &&
        "$linux_build/bin/rm7util" config diff "$scratch/a.cfg" "$scratch/b.cfg" >/dev/null 2>&1 &&
        ! "$linux_build/bin/rm7util" config diff "$scratch/a.cfg" "$scratch/blank.cfg" >/dev/null 2>&1
}
check "configuration save and restore" config_save_restore
stop_sim
fi

echo "Windows stage: $((SECONDS - start)) s"
if [ "$failures" -ne 0 ]; then
    echo "$failures Windows check(s) failed" >&2
    exit 1
fi
