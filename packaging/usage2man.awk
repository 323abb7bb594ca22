# Turns a program's --help text into a manual page, so that the two cannot say
# different things. Variables: name, section, version, summary.
#
# The text's conventions: "usage: " lines (and lines lined up under them) are
# the synopsis; a line in capitals is a section; another unindented line ending
# in ":" is a subsection; "  TERM  description" is an entry whose description
# may go on in lines indented further; a line indented by four spaces is an
# example, shown as typed; any other text is prose, blank lines part paragraphs.

function esc(text) {
    gsub(/\\/, "\\e", text)
    gsub(/-/, "\\-", text)
    if (text ~ /^[.']/) {
        text = "\\&" text
    }
    return text
}

function close_block() {
    if (in_example) {
        print ".fi"
        print ".RE"
        in_example = 0
    }
}

function heading(text) {
    close_block()
    print ".SH " esc(text)
    in_entry = 0
    new_paragraph = 0
}

BEGIN {
    printf ".TH %s %s \"\" \"%s %s\" \"User Commands\"\n", toupper(esc(name)), section, name, version
    print ".SH NAME"
    print esc(name) " \\- " esc(summary)
    synopsis = 0
    described = 0
    column = 0
}

/^usage: / {
    if (!synopsis) {
        print ".SH SYNOPSIS"
        print ".nf"
        synopsis = 1
    }
    line = substr($0, 8)
    print esc(line)
    next
}

synopsis == 1 && /^       [^ ]/ {
    sub(/^ +/, "")
    print esc($0)
    next
}

synopsis == 1 {
    print ".fi"
    synopsis = 2
}

/^$/ {
    close_block()
    new_paragraph = 1
    in_entry = 0
    next
}

/^[A-Z][A-Z ]*[A-Z]$/ {
    heading($0)
    described = 1
    next
}

!described {
    heading("DESCRIPTION")
    described = 1
}

/^[^ ].*:$/ {
    close_block()
    text = substr($0, 1, length($0) - 1)
    # A program's or command's own name keeps its case.
    if (index(text, name) != 1) {
        text = toupper(substr(text, 1, 1)) substr(text, 2)
    }
    print ".SS " esc(text)
    in_entry = 0
    new_paragraph = 0
    next
}

/^    [^ ]/ {
    if (!in_example) {
        print ".PP"
        print ".RS 4"
        print ".nf"
        in_example = 1
    }
    print esc(substr($0, 5))
    new_paragraph = 0
    next
}

/^  [^ ]/ {
    close_block()
    body = substr($0, 3)
    # The description starts after a gap of two spaces, or where the entries
    # before had theirs when the term fills the column up to it.
    gap = match(body, /  +/)
    if (gap) {
        term = substr(body, 1, gap - 1)
        rest = substr(body, gap + RLENGTH)
        column = gap + RLENGTH + 2
    } else if (column > 3 && length($0) >= column && substr($0, column - 1, 1) == " ") {
        term = substr($0, 3, column - 4)
        rest = substr($0, column)
    } else {
        term = body
        rest = ""
    }
    print ".TP"
    print "\\fB" esc(term) "\\fR"
    if (rest != "") {
        print esc(rest)
    }
    in_entry = 1
    new_paragraph = 0
    next
}

in_entry && /^   / {
    sub(/^ +/, "")
    print esc($0)
    next
}

{
    close_block()
    # "Topic: text" after a finished sentence starts a note of its own.
    if ($0 ~ /^[-A-Za-z ]+: / && last_prose ~ /[.)]$/) {
        new_paragraph = 1
    }
    last_prose = $0
    if (new_paragraph || in_entry) {
        print ".PP"
    }
    sub(/^ +/, "")
    print esc($0)
    new_paragraph = 0
    in_entry = 0
}

END {
    if (synopsis == 1) {
        print ".fi"
    }
    close_block()
}
