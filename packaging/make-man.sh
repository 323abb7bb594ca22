#!/bin/sh
# Makes a program's manual page from its own --help (and, for a program with
# subcommands, from each subcommand's --help), at build time.
#   make-man.sh PROGRAM NAME SUMMARY VERSION OUTPUT [--commands]
# With --commands the subcommands are the ones the "commands:" part of
# PROGRAM --help lists.
set -eu
program=$1
name=$2
summary=$3
version=$4
output=$5
shift 5
here=$(dirname "$0")

text() {
    "$program" --help
}

# A subcommand's usage ("usage: NAME CMD ..." then text indented by two, its
# options "  --x  ..." among it) in the conventions of usage2man.awk: the
# synopsis as an example, options as entries, the rest as prose.
subcommand_text() {
    "$program" "$1" --help 2>&1 | awk -v name="$name" -v cmd="$1" '
        NR == 1 { sub(/^usage: /, ""); print name " " cmd ":"; print ""; print "    " $0; mode = "synopsis"; next }
        mode == "synopsis" && /^      / { sub(/^ +/, ""); print "    " $0; next }
        mode == "synopsis" { print ""; mode = "prose" }
        /^  -/ { print; mode = "entry"; next }
        mode == "entry" && /^    / { print; next }
        { if (mode == "entry") print ""; sub(/^ +/, ""); print; mode = "prose" }'
    echo
}

all_text() {
    if [ $# -eq 0 ]; then
        text
        return
    fi
    # The subcommands go in their own section, before the exit statuses.
    text | sed -n '/^EXIT STATUS$/q;p'
    echo "COMMANDS"
    for command in "$@"; do
        subcommand_text "$command"
    done
    text | sed -n '/^EXIT STATUS$/,$p'
}

commands() {
    text | awk '/^commands:/ { on = 1; next }
        on && /^  [a-z]/ { print $1; next }
        on && !/^   / { on = 0 }'
}

if [ "${1:-}" = --commands ]; then
    # shellcheck disable=SC2046
    set -- $(commands)
fi

all_text "$@" |
    awk -f "$here/usage2man.awk" -v name="$name" -v section=1 -v version="$version" \
        -v summary="$summary" >"$output.tmp"
mv "$output.tmp" "$output"
