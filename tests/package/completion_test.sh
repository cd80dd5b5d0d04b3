#!/usr/bin/env bash
# The bash completion, run by bash as bash-completion runs it: every option of each --help is
# offered, option arguments and files are completed from what they take, and the monitor's
# ports come from 'norvane-cli ports'.
# Usage: completion_test.sh COMPLETION_DIR NORVANE_CLI NORVANE_SIM
set -uo pipefail
HERE=$(dirname "$0")
source "$HERE/help_options.sh"
BASH_COMPLETION=/usr/share/bash-completion/bash_completion
[[ -r $BASH_COMPLETION ]] || { echo "SKIP: bash-completion is not installed"; exit 77; }
source "$BASH_COMPLETION"
source "$1/norvane-cli"
source "$1/norvane-sim"
CLI=$2 SIM=$3
failed=0
fail() { echo "FAIL: $*"; failed=1; }

# offered LINE: what <Tab> at the end of LINE offers, sorted, one a line.
offered() {
    local line=$1 program
    COMP_LINE=$line COMP_POINT=${#line}
    read -ra COMP_WORDS <<<"$line"
    [[ $line == *' ' ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    program=$(basename "${COMP_WORDS[0]}")
    "_${program//-/_}" "$program" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    printf '%s\n' "${COMPREPLY[@]}" | sort
}
expect() {  # LINE EXPECTED...: the completion offers exactly EXPECTED
    local line=$1 got
    got=$(offered "$line")
    shift
    [[ $got == "$(printf '%s\n' "$@" | sort)" ]] || fail "'$line' offers [${got//$'\n'/ }], not [$*]"
}
expect_options() {  # LINE OPTIONS...: the completion offers each option
    local line=$1 got option
    got=$(offered "$line")
    shift
    (($# > 0)) || fail "no options in the --help text"
    for option in "$@"; do
        grep -qx -- "$option" <<<"$got" || fail "'$line' does not offer $option"
    done
}

SCRATCH=$(mktemp -d /tmp/norvane-completion-XXXXXX)
trap 'rm -rf "$SCRATCH"' EXIT
cd "$SCRATCH" || exit 1
mkdir runtime
touch a.pcap b.pcapng c.bin d.qmdl e.jsonl f.kml g.csv notes.txt

expect "$CLI " decode ports monitor export convert --help
for command in $(cli_commands "$CLI"); do
    expect_options "$CLI $command --" $(help_options "$CLI" "$command")
done
expect_options "$SIM --" $(help_options "$SIM")

expect "$SIM --rat " lte lte-nr nr wcdma
expect "$SIM --packet-version " 0 1 2
expect "$SIM --speed " 
expect "$SIM --replay " a.pcap b.pcapng c.bin d.qmdl runtime
expect "$CLI decode --stats " a.pcap b.pcapng c.bin d.qmdl runtime
expect "$CLI export " a.pcap b.pcapng c.bin d.qmdl runtime e.jsonl
expect "$CLI export e.jsonl --kml " runtime f.kml
expect "$CLI export e.jsonl --csv " runtime g.csv
expect "$CLI monitor --lte --record " a.pcap c.bin runtime
# The simulator's link is always an entry of 'ports'; its device part is offered.
XDG_RUNTIME_DIR=$SCRATCH/runtime expect_options "$CLI monitor --lte " "$SCRATCH/runtime/norvane-sim"
((failed == 0)) && echo PASS
exit $failed
