#!/usr/bin/env bash
# A manual page renders without a warning, through groff and through man at 80 columns, and
# names what it documents: the command's page (section 1) every option that `pictor --help`
# lists, the library's page (section 3) every function, type, field and constant the header
# declares.
# Usage: check_man_page.sh MAN_PAGE PICTOR (section 1) | HEADER (section 3)
set -euo pipefail
page=$1 source=$2

fail() {
    echo "check_man_page: $page $*" >&2
    exit 1
}

warnings=$(groff -man -Tutf8 -ww -z "$page" 2>&1)
[ -z "$warnings" ] || fail "draws warnings from groff:"$'\n'"$warnings"
warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "draws warnings from man:"$'\n'"$warnings"

# The header's names outside its comments and checks: functions, types, the fields of its
# records (a declaration alone on its line), constants and the version macros.
names_of_header() {
    sed 's|/\*.*\*/||; /\/\*/,/\*\//d; /STATIC_ASSERT/d' "$1" | {
        grep -oE '\bPictor[A-Za-z]*[(;]|\(\*[A-Za-z]+\)|\bPICTOR_[A-Z0-9_]+ =|} [A-Za-z]+;'
        sed -n '/^typedef struct .*{/,/^}/p' "$1" | sed 's|/\*.*||' |
            sed -nE 's/^ +[A-Za-z_][A-Za-z0-9_ ]*[ *]+([A-Za-z_][A-Za-z0-9_]*)(\[[0-9]+\])?; *$/\1/p'
        grep -oE '#define PICTOR_VERSION_[A-Z]+' "$1" | sed 's/#define//'
    } | grep -oE '[A-Za-z_][A-Za-z0-9_]*' | sort -u
}
case $(sed -n 's/^\.TH [^ ]* \([0-9]\).*/\1/p' "$page") in
    1) names=$("$source" --help | grep -oE -- '(^|[^[:alnum:]-])--?[a-z][a-z-]*' |
        sed 's/^[^-]*//' | sort -u) ;;
    3) names=$(names_of_header "$source") ;;
    *) fail "is neither section 1 nor section 3" ;;
esac

# The page's words with font changes and escaped hyphens undone.
text=$(sed 's/\\f[BIRP]//g; s/\\-/-/g' "$page")
missing=""
for name in $names; do
    grep -qE -- "(^|[^[:alnum:]_-])$name([^[:alnum:]_-]|\$)" <<<"$text" || missing="$missing $name"
done
[ -z "$missing" ] || fail "does not document:$missing"
echo "$page: renders cleanly; documents $(echo "$names" | xargs)"
