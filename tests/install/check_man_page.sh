#!/usr/bin/env bash
# The manual page renders without a warning and names every option that
# `pictor --help` lists.
# Usage: check_man_page.sh MAN_PAGE PICTOR
set -euo pipefail
page=$1
pictor=$2

warnings=$(groff -man -Tutf8 -ww -z "$page" 2>&1)
if [ -n "$warnings" ]; then
    echo "check_man_page: groff warns about $page:" >&2
    echo "$warnings" >&2
    exit 1
fi

# The page's words with font changes and escaped hyphens undone.
text=$(sed 's/\\f[BIRP]//g; s/\\-/-/g' "$page")
options=$("$pictor" --help | grep -oE -- '(^|[^[:alnum:]-])--?[a-z][a-z-]*' |
    sed 's/^[^-]*//' | sort -u)
missing=""
for option in $options; do
    grep -qE -- "(^|[^[:alnum:]-])$option([^[:alnum:]-]|\$)" <<<"$text" || missing="$missing $option"
done
if [ -n "$missing" ]; then
    echo "check_man_page: $page does not document:$missing" >&2
    exit 1
fi
echo "$page: renders cleanly; documents $(echo "$options" | xargs)"
