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
# The devices come from `rm7util ports`, which lists this machine's serial adapters: none on many
# machines, and the same list either way. So rm7util here is a stand-in that lists two ptys of its
# own (simulated radios, one with a by-id name beside it) and hands every other command on.
exec {sim1}< <(exec "$2/rm7-sim")
sim1_pid=$!
exec {sim2}< <(exec "$2/rm7-sim")
sim2_pid=$!
trap 'kill "$sim1_pid" "$sim2_pid" 2>/dev/null; rm -rf "$scratch"' EXIT
read -r -t 30 -u "$sim1" dev1 || echo "FAIL: no first simulated radio"
read -r -t 30 -u "$sim2" dev2 || echo "FAIL: no second simulated radio"
mkdir "$scratch/bin"
cat >"$scratch/bin/rm7util" <<STANDIN
#!/usr/bin/env bash
if [[ \$1 == ports ]]; then
    printf '%s\t%s\n%s\n' '$dev1' 'usb-Example_Serial_Adapter-if00-port0' '$dev2'
    exit 0
fi
exec '$2/rm7util' "\$@"
STANDIN
chmod +x "$scratch/bin/rm7util"
expect "$(printf '%s\n' "$dev1" "$dev2" | sort | tr '\n' ' ' | sed 's/ $//')" "$scratch/bin/rm7util" --port ""
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
