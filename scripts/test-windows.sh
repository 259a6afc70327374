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
win_tests=(text_test manual_pump_test last_error_test settings_registry_test contact_test wall_clock_test
    config_file_test ftp_transfer_test)
cmake --build "$win" -j"$(nproc)" --target rm7util "${win_tests[@]}"

# The delivery: rm7util-<version>-win64.zip with the program and its README.
(cd "$win" && cpack >/dev/null)
zip_file=$(ls "$win"/rm7util-*-win64.zip)
# The licence goes in too once the repository has one.
python3 -c 'import os, sys, zipfile; names = set(zipfile.ZipFile(sys.argv[1]).namelist())
wanted = {"rm7util.exe", "README.txt"} | ({"LICENSE.txt"} if os.path.exists("LICENSE") else set())
sys.exit(0 if wanted <= names else "the zip lacks the program, its README or the licence")' "$zip_file"

scratch=$(mktemp -d)
sim_pid=
helper_pid=
cleanup() {
    declare -F stop_sim >/dev/null && stop_sim  # a failure before it was defined
    declare -F stop_helper >/dev/null && stop_helper
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
    local what=$1 began=$SECONDS
    shift
    if "$@"; then
        echo "ok   $what ($((SECONDS - began)) s)"
    else
        echo "FAIL $what ($((SECONDS - began)) s)"
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
# Its mirror is a file:///C:/... folder, listed in the Windows way.
check "--simulate firmware fetch" util --simulate firmware fetch

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

# A loopback server (the FTP test server, ser2net) started with these arguments; its first line
# of output, the port, in $helper_port.
start_helper() {
    stop_helper
    "$@" >"$scratch/helper.out" 2>"$scratch/helper.err" &
    helper_pid=$!
    helper_port=
    for _ in $(seq 100); do
        helper_port=$(head -n1 "$scratch/helper.out" 2>/dev/null || true)
        [ -n "$helper_port" ] && break
        sleep 0.1
    done
    [ -n "$helper_port" ] || { echo "$1 gave no port" >&2; return 1; }
}
stop_helper() {
    if [ -n "$helper_pid" ]; then
        kill "$helper_pid" 2>/dev/null || true
        wait "$helper_pid" 2>/dev/null || true
        helper_pid=
    fi
}

# The copy from the file server on WinINet, through the loopback FTP test server named in the
# registry's FileServer setting: what is newer arrives byte for byte; then a damaged file is kept aside, names that would leave the folder on
# Windows (a backslash) or carry a control character are refused, and the notes already there
# are replaced.
mirror="$scratch/ftp/RM7/firmware"
fetched="$scratch/fetched"
fetch() { util firmware fetch --server "ftp://127.0.0.1:$helper_port" --folder "Z:$fetched"; }
fetch_newer() {
    mkdir -p "$mirror" "$fetched" && "$linux_build/bin/rm7-sim" --make-firmware "$mirror" >/dev/null &&
        printf '{\\rtf1 notes}' >"$mirror/ffwnotes.rtf" &&
        start_helper /usr/bin/python3 tests/ftp/loopback_ftpd.py "$scratch/ftp" &&
        wine reg add 'HKCU\Software\Tarnwell\RM7 Utility' /v FileServer /t REG_SZ /d "ftp://127.0.0.1:$helper_port" /f \
            >/dev/null 2>&1 && util firmware fetch --folder "Z:$fetched" &&
        for f in "$mirror"/*; do cmp "$f" "$fetched/$(basename "$f")" || return 1; done
}
check "firmware fetch over FTP (WinINet)" fetch_newer
fetch_refused() {
    local before status=0
    before=$(cd "$fetched" && ls -A | sort) || return 1
    printf ':0400000001020304F2\r\n' >"$mirror/fmcu0400.hex"  # no end record
    printf '{\\rtf1 newer notes}' >"$mirror/ffwnotes.rtf"
    for name in '..\fmcu0999.hex' 'sub\fdsp0999.hex' $'fdsp0998.hex\a'; do
        cp "$mirror/fmcu0300.hex" "$mirror/$name" || return 1
    done
    fetch || status=$?
    [ "$status" = 1 ] && grep -q "Unable to copy file fmcu0400.hex: Line 2" "$scratch/err" &&
        [ "$(cd "$fetched" && ls -A | sort)" = "$(printf '%s\nfmcu0400.hex.rejected' "$before" | sort)" ] &&
        cmp "$mirror/ffwnotes.rtf" "$fetched/ffwnotes.rtf" &&
        [ -z "$(find "$scratch" -name '*0999*' -not -path "$mirror/*")" ]
}
check "firmware fetch refuses what it must" fetch_refused
# Ctrl-C while a file comes from a slow server: the transfer ends at once, exit 130, nothing kept.
fetch_stopped() {
    local status=0 pid
    rm -rf "$fetched" && mkdir -p "$fetched" &&
        start_helper /usr/bin/python3 tests/ftp/loopback_ftpd.py "$scratch/ftp" slow || return 1
    wine "$exe" firmware fetch --server "ftp://127.0.0.1:$helper_port" --folder "Z:$fetched" >"$scratch/out" \
        2>"$scratch/err" &
    pid=$!
    for _ in $(seq 200); do
        compgen -G "$fetched/.rm7-fetch-*" >/dev/null && break
        sleep 0.05
    done
    kill -INT "$pid"
    wait "$pid" || status=$?
    [ "$status" = 130 ] && [ -z "$(ls -A "$fetched")" ]
}
check "Ctrl-C stops a fetch" fetch_stopped
stop_helper

# A network port on Winsock: rm7util.exe through ser2net (RFC 2217) on loopback in front of rm7-sim.
network_port() {
    local port hex
    start_sim --serial 301 || return 1
    port=$(/usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    printf '%s\n' '%YAML 1.1' '---' 'connection: &radio' "  accepter: telnet(rfc2217),tcp,127.0.0.1,$port" \
        "  connector: serialdev,$(head -n1 "$scratch/sim.out"),38400n81,local" '  options:' '    chardelay: false' \
        >"$scratch/ser2net.yaml"
    /usr/sbin/ser2net -n -u -c "$scratch/ser2net.yaml" >"$scratch/helper.out" 2>"$scratch/helper.err" &
    helper_pid=$!
    # Listening (state 0A) in the kernel's table: a trial connection would open the pty.
    hex=$(printf ':%04X' "$port")
    for _ in $(seq 100); do
        awk -v p="$hex" '$2 ~ p"$" && $4 == "0A" { found = 1 } END { exit !found }' /proc/net/tcp && break
        sleep 0.1
    done
    util --port "rfc2217://127.0.0.1:$port" info --json && json_is serial_number 301 &&
        grep -q "Connected to RM7 on rfc2217://127.0.0.1:$port" "$scratch/err"
}
if [ -x /usr/sbin/ser2net ]; then
    check "rfc2217:// port through ser2net (Winsock)" network_port
else
    echo "skip rfc2217:// port: ser2net is not installed (scripts/deps.sh installs it)"
fi
stop_helper
stop_sim

echo "Windows stage: $((SECONDS - start)) s"
if [ "$failures" -ne 0 ]; then
    echo "$failures Windows check(s) failed" >&2
    exit 1
fi
