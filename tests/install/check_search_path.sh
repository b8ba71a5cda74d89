#!/usr/bin/env bash
# The built command's library search path: every entry a folder named outright (an empty entry
# is the current folder, where any library dropped there would be loaded), and the library it
# loads is this build's. Usage: check_search_path.sh PICTOR LIBRARY
set -euo pipefail
pictor=$(realpath "$1") library=$(realpath "$2")

fail() {
    echo "check_search_path: $pictor $*" >&2
    exit 1
}

path=$(readelf -d "$pictor" | sed -n 's/.*(\(RUNPATH\|RPATH\)).*\[\(.*\)\]$/\2/p')
[ -n "$path" ] || fail "has no library search path"
IFS=: read -r -a entries <<<"$path"
[[ $path != *: ]] || entries+=("")
for entry in "${entries[@]}"; do
    case $entry in
        /* | '$ORIGIN'*) ;;
        *) fail "searches '$entry' (in '$path'), a folder relative to wherever it starts" ;;
    esac
done
loaded=$(cd / && env -u LD_LIBRARY_PATH ldd "$pictor" |
    sed -n 's/.*libpictor\.so[^ ]* => \([^ ]*\).*/\1/p')
[ "$(realpath -m "${loaded:-none}")" = "$library" ] || fail "loads '$loaded'"
echo "$pictor: searches $path"
