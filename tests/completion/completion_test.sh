#!/usr/bin/env bash
# The bash completion of rm7util, sourced as bash-completion does, against the built rm7util:
# commands, options, option values, serial devices for --port, files for file arguments.
# Usage: completion_test.sh COMPLETION_FILE BIN_DIR
set -uo pipefail
source "$1"
PATH="$2:$PATH"
failures=0
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
touch "$scratch/radio.RM7Config" "$scratch/fmcu0288.hex"
mkdir "$scratch/firmware"

# Completes the words (the last one the word under the cursor) and compares with the expected
# candidates, sorted.
expect() {
    local expected=$1
    shift
    COMP_WORDS=("$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _rm7util
    local got
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ' | sed 's/ $//')
    if [[ $got != "$expected" ]]; then
        echo "FAIL: [$*] gave [$got], expected [$expected]"
        failures=$((failures + 1))
    fi
}

registered=$(complete -p rm7util)
[[ $registered == "complete -F _rm7util rm7util" ]] || { echo "FAIL: complete -p gave [$registered]"; failures=$((failures + 1)); }

expect "config" rm7util con
expect "restore" rm7util config re
expect "restore" rm7util --port /dev/ttyS9 --json config re
expect "save" rm7util config sa
expect "--speed" rm7util --sp
expect "--no-backup" rm7util firmware send --no-
expect "--dsp" rm7util firmware send --mcu "$scratch/fmcu0288.hex" --d
expect "19200 38400 4800 9600 auto" rm7util --speed ""
expect "auto dsp mcu" rm7util firmware check --kind ""
# Every device `rm7util ports` lists.
expect "$(rm7util ports | awk '{ print $1 }' | sort | tr '\n' ' ' | sed 's/ $//')" rm7util --port ""
expect "$scratch/fmcu0288.hex" rm7util firmware send --mcu "$scratch/fm"
expect "$scratch/firmware" rm7util firmware list --folder "$scratch/fi"
expect "$scratch/radio.RM7Config" rm7util config restore "$scratch/ra"
expect "$scratch/radio.RM7Config" rm7util config diff "$scratch/radio.RM7Config" "$scratch/ra"
# A text argument is no file name.
expect "" rm7util send "$scratch/ra"

if ((failures > 0)); then
    exit 1
fi
echo "completion: all cases passed"
