#!/usr/bin/env bash
# The packaging's checks, one group per call:
#   packaging_test.sh versions VERSION PROGRAM...
#   packaging_test.sh man_pages PAGE_DIR PROGRAM...
#   packaging_test.sh completion COMPLETION_SCRIPT VARDEXCTL
#   packaging_test.sh package BUILD_DIR
#   packaging_test.sh udev_rule_place DEB
set -euo pipefail
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# Every program says the one version of the build, in the same form.
versions() {
    local version=$1 program said
    shift
    for program in "$@"; do
        said=$("$program" --version)
        [ "$said" = "$(basename "$program") $version" ] || fail "$program --version: '$said'"
    done
}

# The text of a page without its markup, one word a line.
page_words() {
    sed -e '/^\.\(TH\|SH NAME\)/d' -e 's/^\.[A-Z][A-Z]* *//' -e 's/\\f[BRI]//g' \
        -e 's/\\-/-/g' -e 's/\\e/\\/g' -e 's/\\&//g' "$1" | tr -s ' \t' '\n\n'
}

# The subcommands the "commands:" part of vardexctl --help lists, on standard input.
command_names() {
    # It reads to the end: leaving early could end the program on a broken pipe.
    awk '/^commands:/ { on = 1; next } on && /^  [a-z]/ { print $1; next } on && !/^   / { on = 0 }'
}

# Each page renders without a warning and says every word its program's --help
# says (subcommands' help included for vardexctl), so that nothing of the help
# is lost on the way.
man_pages() {
    local dir=$1 program name page help warnings missing command
    shift
    for program in "$@"; do
        name=$(basename "$program")
        page=$dir/$name.1
        [ -s "$page" ] || { fail "no page $page"; continue; }
        warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
        [ -z "$warnings" ] || fail "$page: $warnings"
        help=$("$program" --help)
        if [ "$name" = vardexctl ]; then
            for command in $(command_names <<<"$help"); do
                grep -q "^\.SS vardexctl $command\$" "$page" || fail "$page: no section for $command"
                help+=$'\n'$("$program" "$command" --help 2>&1)
            done
        fi
        # Headings begin with a capital in the page.
        missing=$(comm -23 <(tr -s ' \t' '\n\n' <<<"$help" | grep -v '^usage:$' | sed 's/:$//' |
            tr '[:upper:]' '[:lower:]' | sort -u) \
            <(page_words "$page" | sed 's/:$//' | tr '[:upper:]' '[:lower:]' | sort -u))
        [ -z "$missing" ] || fail "$page lacks words of --help: $(echo $missing)"
    done
}

# The completion's answers, with bash-completion's helpers stubbed: COMPREPLY
# for the command line WORDS, the last word being completed.
complete_words() {
    local words_in=("$@")
    COMP_WORDS=("${words_in[@]}")
    COMP_CWORD=$((${#words_in[@]} - 1))
    COMPREPLY=()
    _vardexctl
    printf '%s\n' "${COMPREPLY[@]}" | sort
}

completion() {
    local script=$1 program=$2 got commands
    _init_completion() {
        words=("${COMP_WORDS[@]}")
        cword=$COMP_CWORD
        cur=${COMP_WORDS[COMP_CWORD]}
        prev=${COMP_WORDS[COMP_CWORD - 1]:-}
    }
    _filedir() { :; }
    compopt() { :; }
    complete() { :; }
    # shellcheck source=/dev/null
    source "$script"
    # The commands, as the program lists them.
    got=$(complete_words "$program" "")
    commands=$("$program" --help | command_names)
    [ -n "$commands" ] || fail "vardexctl --help lists no commands"
    for word in $commands --help --version --design-timing; do
        grep -qx -- "$word" <<<"$got" || fail "no '$word' among the commands: $(echo $got)"
    done
    [ "$(complete_words "$program" --design-timing wr)" = write ] ||
        fail "a command after --design-timing is not completed"
    # A command's options, from its own usage.
    got=$(complete_words "$program" trace --)
    for word in --port --layers --log --seconds --timestamps; do
        grep -qx -- "$word" <<<"$got" || fail "trace has no '$word': $(echo $got)"
    done
    # Field names from the program, for write only.
    got=$(complete_words "$program" write m_strPhoneMsn)
    grep -qx 'm_strPhoneMsn\[0\]=' <<<"$got" || fail "write does not offer m_strPhoneMsn[0]=: $(echo $got)"
    [ -z "$(complete_words "$program" read m_str)" ] || fail "read offers field names"
    [ -z "$(complete_words "$program" write m_bClip=)" ] || fail "a value is completed as a field"
    # Values of list options, after a comma too.
    [ "$(complete_words "$program" trace --layers l1,a)" = "l1,app" ] ||
        fail "--layers after a comma: $(complete_words "$program" trace --layers l1,a)"
}

# The package carries the udev rule where udev reads the rules of packages.
udev_rule_place() {
    local places
    places=$(dpkg-deb -c "$1" | awk '$NF ~ /\/60-vardex\.rules$/ { print $NF }')
    [ "$places" = ./usr/lib/udev/rules.d/60-vardex.rules ] ||
        fail "$1 carries the udev rule as '${places//$'\n'/ }', not in /usr/lib/udev/rules.d"
}

# The package made by cpack alone from the build tree as it is configured
# (for /usr/local, say), as the README offers it.
package() {
    local deb
    build=$1
    work=$(mktemp -d)
    # cpack installs from the build tree, which leaves an install manifest
    # there: an earlier one is put back, a new one removed.
    [ ! -e "$build/install_manifest.txt" ] || cp -p "$build/install_manifest.txt" "$work/"
    trap 'if [ -e "$work/install_manifest.txt" ]; then cp -p "$work/install_manifest.txt" "$build/";
          else rm -f "$build/install_manifest.txt"; fi; rm -rf "$work"' EXIT
    if ! cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1; then
        fail "cpack: $(tail -5 "$work/cpack.log")"
        return
    fi
    for deb in "$work"/out/*.deb; do
        udev_rule_place "$deb"
    done
}

"$@"
[ "$failures" -eq 0 ]
