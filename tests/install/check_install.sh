#!/usr/bin/env bash
# Installs a build into a temporary prefix and uses it as another project would: a C
# program through pkg-config and a CMake project through find_package, each through the
# job-file path and through an encoder instance, and the installed pictor command must write
# the same whole stream, and so must the installed Python module; the library manual page's
# example builds and runs. Usage: check_install.sh BUILD_DIR SOURCE_DIR CMAKE C_COMPILER
# GENERATOR BINDIR LIBDIR INCLUDEDIR MANDIR DOCDIR PYTHONDIR (the last six as the build
# installs them, inside the prefix).
set -euo pipefail

fail() {
    echo "check_install: $*" >&2
    exit 1
}

[ $# -eq 11 ] || fail "takes 11 arguments (see its first lines), not $#"
build=$1 source=$2 cmake=$3 cc=$4 generator=$5
bindir=$6 libdir=$7 includedir=$8 mandir=$9 docdir=${10} pythondir=${11}
# An absolute folder would take the install out of the temporary prefix.
for dir in "$bindir" "$libdir" "$includedir" "$mandir" "$docdir" "$pythondir"; do
    case $dir in "" | /*) fail "install folders must lie inside the prefix, not '$dir'" ;; esac
done

tmp=$(mktemp -d "${TMPDIR:-/tmp}/pictor-install.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
prefix=$tmp/prefix
lib=$prefix/$libdir
"$cmake" --install "$build" --prefix "$prefix" >"$tmp/install.log" ||
    { cat "$tmp/install.log"; fail "cmake --install failed"; }
# The release as pictor.pc names it; the consumers print the header's.
export PKG_CONFIG_PATH=$lib/pkgconfig
version=$(pkg-config --modversion pictor)
major=${version%%.*}

# The library: real file, soname and development links, soname and exports.
real=$lib/libpictor.so.$version
[ -f "$real" ] && [ ! -L "$real" ] || fail "no libpictor.so.$version, the release pictor.pc names"
[ "$(readlink "$lib/libpictor.so.$major")" = "libpictor.so.$version" ] &&
    [ "$(readlink "$lib/libpictor.so")" = "libpictor.so.$major" ] ||
    fail "the links are not libpictor.so -> libpictor.so.$major -> libpictor.so.$version"
readelf -d "$real" | grep -q "(SONAME).*\[libpictor\.so\.$major\]" ||
    fail "the soname is not libpictor.so.$major"
exports=$(nm -D --defined-only "$real" | awk '{print $3}' | sort | xargs)
wanted="Pictor PictorCreate PictorDefaultSettings PictorDestroy PictorEncodeRgb PictorEncodeTiff"
wanted="$wanted PictorForDA PictorResetCarried PictorVersion"
[ "$exports" = "$wanted" ] || fail "exports '$exports', not '$wanted'"
for file in "$mandir/man1/pictor.1" "$mandir/man3/pictor.3" "$docdir/LICENSE"; do
    [ -f "$prefix/$file" ] || fail "not installed: $file"
done

# The consumers: pkg-config in strict C11; find_package with only the prefix to look in.
# shellcheck disable=SC2046  # the flags are words
"$cc" -std=c11 -pedantic -Wall -Wextra -Werror $(pkg-config --cflags pictor) \
    "$source/tests/install/consumer.c" -o "$tmp/pkg_config_consumer" $(pkg-config --libs pictor)
"$cmake" -S "$source/tests/install/consumer" -B "$tmp/cmake" -G "$generator" \
    -DCMAKE_C_COMPILER="$cc" -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF -DPICTOR_WANTED="$version" >"$tmp/cmake.log" &&
    "$cmake" --build "$tmp/cmake" >>"$tmp/cmake.log" ||
    { cat "$tmp/cmake.log"; fail "the CMake consumer does not build"; }
found=$(sed -n 's/^Pictor_DIR:[A-Z]*=//p' "$tmp/cmake/CMakeCache.txt")
[ "$found" = "$lib/cmake/Pictor" ] || fail "find_package found Pictor in '$found'"
for consumer in "$tmp/pkg_config_consumer" "$tmp/cmake/consumer"; do
    said=$(LD_LIBRARY_PATH=$(pkg-config --variable=libdir pictor) \
        "$consumer" "$source/examples" "$consumer.m2v" "$consumer.memory.m2v")
    [ "$said" = "pictor $version" ] || fail "$consumer said '$said'"
    # A new instance codes the example's picture as a job of a new process does.
    cmp -s "$consumer.m2v" "$consumer.memory.m2v" ||
        fail "$consumer: the instance and the example job write different streams"
done

# The library manual page's example, as installed, in strict C11; it codes into gradient.m2v.
awk '/^\.EE/ {exit} started; /^\.EX/ {started = 1}' "$prefix/$mandir/man3/pictor.3" |
    sed 's/\\-/-/g; s/\\e/\\/g' >"$tmp/example.c"
# shellcheck disable=SC2046  # the flags are words
"$cc" -std=c11 -pedantic -Wall -Wextra -Werror $(pkg-config --cflags pictor) \
    "$tmp/example.c" -o "$tmp/example" $(pkg-config --libs pictor) ||
    fail "the example of pictor.3 does not build"
said=$(cd "$tmp" && LD_LIBRARY_PATH=$lib ./example) || fail "the example of pictor.3 failed"
[ "$said" = "$(stat -c '%s bytes' "$tmp/gradient.m2v")" ] ||
    fail "the example of pictor.3 said '$said' of its stream"

# The installed command searches named folders only and loads the library installed with it.
pictor=$prefix/$bindir/pictor
"$source/tests/install/check_search_path.sh" "$pictor" "$lib/libpictor.so.$major" >/dev/null ||
    fail "the installed pictor's library search path"
env -u LD_LIBRARY_PATH "$pictor" encode "$source/examples/still/astronaut.tif" -o "$tmp/cli.m2v" \
    --target 1200000 --standard pal --aspect 4:3 --quiet || fail "pictor encode failed"
# A whole sequence (a sequence header first, the end code last); the command's stream is the
# Python module's, which check_python.sh finds whole. The example job asks for the same settings,
# so the streams of the command and the consumers are the same.
ends=$({ head -c4 "$tmp/gradient.m2v"; tail -c4 "$tmp/gradient.m2v"; } | od -An -tx1 | xargs)
[ "$ends" = "00 00 01 b3 00 00 01 b7" ] || fail "the example's gradient.m2v is not a whole sequence"
cmp -s "$tmp/cli.m2v" "$tmp/pkg_config_consumer.m2v" &&
    cmp -s "$tmp/cli.m2v" "$tmp/cmake/consumer.m2v" ||
    fail "pictor encode and the consumers' example job write different streams"
"$source/tests/install/check_python.sh" "$prefix/$pythondir" "$source/examples" "$tmp/cli.m2v" ||
    fail "the installed Python module"
echo "installed and used: library (job files and instances), header, pictor, manual pages," \
    "pkg-config and CMake package, Python module"
