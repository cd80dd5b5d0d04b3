# help_options PROGRAM [COMMAND]: the long options the --help text lists, one a line: those
# beginning a line of the option list ("  -h, --help") and those of the usage line ("[--stats]").
help_options() {
    "$@" --help | grep -oE '^ +(-[a-z], )?--[a-z][a-z0-9-]*|\[--[a-z][a-z0-9-]*' |
        grep -oE -- '--[a-z][a-z0-9-]*' | sort -u
}
# cli_commands NORVANE_CLI: the commands its --help lists under "Commands:".
cli_commands() {
    "$1" --help | sed -n '/^Commands:/,/^$/p' | grep -oE '^  [a-z]+' | tr -d ' '
}
