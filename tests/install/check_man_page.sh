#!/usr/bin/env bash
# The manual page renders without a warning and names every option that
# `pictor --help` lists.
# Usage: check_man_page.sh MAN_PAGE PICTOR
set -euo pipefail
page=$1 pictor=$2

fail() {
    echo "check_man_page: $page $*" >&2
    exit 1
}

warnings=$(groff -man -Tutf8 -ww -z "$page" 2>&1)
[ -z "$warnings" ] || fail "draws warnings from groff:"$'\n'"$warnings"

# The page's words with font changes and escaped hyphens undone.
text=$(sed 's/\\f[BIRP]//g; s/\\-/-/g' "$page")
options=$("$pictor" --help | grep -oE -- '(^|[^[:alnum:]-])--?[a-z][a-z-]*' |
    sed 's/^[^-]*//' | sort -u)
missing=""
for option in $options; do
    grep -qE -- "(^|[^[:alnum:]-])$option([^[:alnum:]-]|\$)" <<<"$text" ||
        missing="$missing $option"
done
[ -z "$missing" ] || fail "does not document:$missing"
echo "$page: renders cleanly; documents $(echo "$options" | xargs)"
