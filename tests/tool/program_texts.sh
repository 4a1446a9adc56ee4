#!/usr/bin/env bash
# What the programs say to the person at the terminal: each --help and its manual page name
# the same options, and every command and argument of the usage lines is in the page; the
# help goes to standard output; libpq's own words come in the user's language.
# Usage: program_texts.sh MANFOLDER QUIL-TOOL QUIL-WEB [QUIL]
set -u
man=$1 tool=$2 web=$3 quil=${4:-}
fail=0
complain() { echo "FAIL $*"; fail=1; }
# A manual page's source as plain text: \- is '-', font changes and \(dq go.
page() { sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' -e 's/\\(dq/"/g' "$1"; }
long_options() { grep -oE -- '--[a-z][a-z-]*[a-z]' | sort -u; }
# The commands and placeholders of the usage lines (those naming the program).
usage_words() {
    grep -E '^ *(使い方: *)?quil(-tool|-web)? ' | grep -oE '\b[a-z]+(-[a-z]+)+\b|\b[A-Z]{3,}\b' | sort -u
}
compare() {  # compare NAME HELP MANPAGE
    local name=$1 help=$2 text o w
    text=$(page "$3")
    [ -n "$help" ] || complain "$name --help printed nothing on standard output"
    for o in $(long_options <<<"$help"); do
        grep -q -- "$o" <<<"$text" || complain "$name: $o is in --help but not in its manual page"
    done
    for o in $(long_options <<<"$text"); do
        grep -q -- "$o" <<<"$help" || complain "$name: $o is in the manual page but not in --help"
    done
    for w in $(usage_words <<<"$help"); do
        grep -qw -- "$w" <<<"$text" || complain "$name: $w of the usage is not in the manual page"
    done
}

help=$("$tool" --help 2>/dev/null
       for c in check dump export-csv import-csv backup restore import-legacy expiries licences papers server; do
           "$tool" "$c" --help 2>/dev/null
       done)
web_help=$("$web" --help 2>/dev/null)
[ -n "$quil" ] && quil_help=$(env -u DISPLAY -u WAYLAND_DISPLAY timeout 10 "$quil" --help 2>/dev/null)
# The English pages and the Japanese ones under ja/.
for pages in "$man" "$man/ja"; do
    compare quil-tool "$help" "$pages/quil-tool.1.in"
    compare quil-web "$web_help" "$pages/quil-web.8.in"
    [ -n "$quil" ] && compare quil "$quil_help" "$pages/quil.1.in"
done

# A server that is not there, asked in Japanese: libpq's own part of the message is Japanese
# too (its catalogue speaks once the program takes the user's locale).
if ! locale -a 2>/dev/null | grep -qix 'ja_JP.utf8'; then
    complain "the ja_JP.UTF-8 locale is missing (scripts/setup.sh test makes it)"
else
    err=$(LANG=ja_JP.UTF-8 LC_ALL= LANGUAGE= "$tool" --server "host=/nonexistent-quil-socket dbname=quil" \
          server status 2>&1 >/dev/null)
    grep -q 'サーバーに接続できません' <<<"$err" || complain "no Japanese connection message: $err"
    grep -q 'connection to server' <<<"$err" && complain "libpq spoke English under ja_JP.UTF-8: $err"
fi
exit $fail
