#!/usr/bin/env bash
# Every option each program's --help lists (and every norvane-cli command) is in its manual
# page, and man renders the pages without a warning.
# Usage: man_test.sh MAN_DIR NORVANE NORVANE_CLI NORVANE_SIM
set -uo pipefail
source "$(dirname "$0")/help_options.sh"
command -v man >/dev/null || { echo "SKIP: man is not installed"; exit 77; }
MAN_DIR=$1 NORVANE=$2 CLI=$3 SIM=$4
failed=0
fail() { echo "FAIL: $*"; failed=1; }

# The page's text as typed: \- is a hyphen, font changes and \% are dropped.
plain() { sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' -e 's/\\%//g' "$MAN_DIR/$1.1"; }
expect_in_page() {  # PAGE WORDS...
    local page=$1 text word
    shift
    (($# > 0)) || fail "no options found for $page"
    text=$(plain "$page")
    for word in "$@"; do
        grep -qE -- "(^|[^a-z0-9-])$word([^a-z0-9-]|\$)" <<<"$text" || fail "$page(1) lacks $word"
    done
}

expect_in_page norvane $(help_options "$NORVANE")
expect_in_page norvane-sim $(help_options "$SIM")
for command in $(cli_commands "$CLI"); do
    grep -qx "\.SS $command" "$MAN_DIR/norvane-cli.1" || fail "norvane-cli(1) has no section $command"
    expect_in_page norvane-cli $(help_options "$CLI" "$command")
done
[[ -n $(cli_commands "$CLI") ]] || fail "no commands found in norvane-cli --help"

for page in norvane norvane-cli norvane-sim; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z \
        "$MAN_DIR/$page.1" 2>&1 >/dev/null)
    [[ -z $warnings ]] || fail "$page(1): $warnings"
done
((failed == 0)) && echo PASS
exit $failed
