#!/usr/bin/env bash
# The installed Python module, found on PYTHONPATH alone, loads the library installed with it
# (no PICTOR_LIBRARY, no LD_LIBRARY_PATH) and codes the example picture into a whole sequence.
# Usage: check_python.sh PYTHON_DIR EXAMPLES_DIR [STREAM], PYTHON_DIR the installed folder that
# holds pictor/; with STREAM, the module's stream must equal that file.
set -euo pipefail

fail() {
    echo "check_python: $*" >&2
    exit 1
}

[ $# -eq 2 ] || [ $# -eq 3 ] || fail "takes 2 or 3 arguments (see its first lines), not $#"
modules=$(realpath "$1") examples=$(realpath "$2")
[ -f "$modules/pictor/__init__.py" ] || fail "no pictor/__init__.py in $modules"
tmp=$(mktemp -d "${TMPDIR:-/tmp}/pictor-python.XXXXXX")
trap 'rm -rf "$tmp"' EXIT

# From an empty folder, so that nothing but PYTHONPATH offers a module.
cd "$tmp"
env -u PICTOR_LIBRARY -u LD_LIBRARY_PATH -u LD_PRELOAD PYTHONPATH="$modules" /usr/bin/python3 -s -c '
import sys, pictor
print(pictor.__file__, pictor._library.origin, pictor._library.path, pictor.version())
with open(sys.argv[2], "wb") as out:
    out.write(pictor.encode(sys.argv[1], target=1200000, standard="pal", aspect="4:3"))
' "$examples/still/astronaut.tif" "$tmp/python.m2v" >"$tmp/said" 2>&1 ||
    { cat "$tmp/said"; fail "the module did not code the example"; }
read -r file origin library version <"$tmp/said"
[ "$file" = "$modules/pictor/__init__.py" ] || fail "imported $file, not the installed module"
[ "$origin" = installed ] || fail "loaded $library ($origin), not the library installed with it"
ends=$({ head -c4 "$tmp/python.m2v"; tail -c4 "$tmp/python.m2v"; } | od -An -tx1 | xargs)
[ "$ends" = "00 00 01 b3 00 00 01 b7" ] || fail "the module's stream is not a whole sequence"
if [ $# -eq 3 ]; then
    cmp -s "$tmp/python.m2v" "$3" || fail "the module's stream differs from $3"
fi
echo "python: pictor $version from $modules, library $library"
