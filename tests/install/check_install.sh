#!/usr/bin/env bash
# Installs a build into a temporary prefix and uses it as another project would:
# a C program found through pkg-config, a CMake project through find_package and
# the installed pictor command; checks the soname links, the exported names and
# the installed files. Everything happens in one temporary folder, removed at the end.
# Usage: check_install.sh BUILD_DIR SOURCE_DIR CMAKE C_COMPILER GENERATOR \
#            BINDIR LIBDIR INCLUDEDIR MANDIR DOCDIR      (the last five as the build installs them)
set -euo pipefail

fail() {
    echo "check_install: $*" >&2
    exit 1
}

[ $# -eq 10 ] || fail "takes 10 arguments (see its first lines), not $#"
build=$1 source=$2 cmake=$3 cc=$4 generator=$5
bindir=$6 libdir=$7 includedir=$8 mandir=$9 docdir=${10}

# True when the file holds a whole sequence: a sequence header first, the end code last.
whole_stream() {
    [ "$(od -An -tx1 -N4 "$1" | tr -d ' \n')" = 000001b3 ] &&
        [ "$(tail -c4 "$1" | od -An -tx1 | tr -d ' \n')" = 000001b7 ]
}

# An absolute folder would take the install out of the temporary prefix.
for dir in "$bindir" "$libdir" "$includedir" "$mandir" "$docdir"; do
    case $dir in
    "" | /*) fail "install folders must lie inside the prefix, not '$dir'" ;;
    esac
done

tmp=$(mktemp -d "${TMPDIR:-/tmp}/pictor-install.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
prefix=$tmp/prefix
"$cmake" --install "$build" --prefix "$prefix" >"$tmp/install.log" ||
    { cat "$tmp/install.log"; fail "cmake --install failed"; }

header=$prefix/$includedir/pictor/pictor.h
[ -f "$header" ] || fail "no $header"
version_part() {
    sed -n "s/^#define PICTOR_VERSION_$1 \([0-9]*\)$/\1/p" "$header"
}
major=$(version_part MAJOR)
version=$major.$(version_part MINOR).$(version_part PATCH)
echo "installed release $version"

# The library: real name, soname link, development link; soname and exports.
lib=$prefix/$libdir
if [ ! -f "$lib/libpictor.so.$version" ] || [ -L "$lib/libpictor.so.$version" ]; then
    fail "no library file libpictor.so.$version"
fi
[ "$(readlink "$lib/libpictor.so.$major")" = "libpictor.so.$version" ] ||
    fail "libpictor.so.$major does not link to libpictor.so.$version"
[ "$(readlink "$lib/libpictor.so")" = "libpictor.so.$major" ] ||
    fail "libpictor.so does not link to libpictor.so.$major"
soname=$(readelf -d "$lib/libpictor.so.$version" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
[ "$soname" = "libpictor.so.$major" ] || fail "soname '$soname', not libpictor.so.$major"
exports=$(nm -D --defined-only "$lib/libpictor.so.$version" | awk '{print $3}' | sort | xargs)
[ "$exports" = "Pictor PictorForDA" ] || fail "exports '$exports', not 'Pictor PictorForDA'"

# The other files.
for file in "$prefix/$mandir/man1/pictor.1" "$prefix/$docdir/LICENSE" "$lib/pkgconfig/pictor.pc" \
    "$lib/cmake/Pictor/PictorConfig.cmake" "$lib/cmake/Pictor/PictorConfigVersion.cmake" \
    "$lib/cmake/Pictor/PictorTargets.cmake"; do
    [ -f "$file" ] || fail "not installed: ${file#"$prefix"/}"
done

# A C program through pkg-config, in strict C11.
export PKG_CONFIG_PATH=$lib/pkgconfig
[ "$(pkg-config --modversion pictor)" = "$version" ] || fail "pictor.pc is not release $version"
# shellcheck disable=SC2046  # the flags are words
"$cc" -std=c11 -pedantic -Wall -Wextra -Werror $(pkg-config --cflags pictor) \
    "$source/tests/install/consumer.c" -o "$tmp/pkg_config_consumer" $(pkg-config --libs pictor)
said=$(LD_LIBRARY_PATH=$(pkg-config --variable=libdir pictor) \
    "$tmp/pkg_config_consumer" "$source/examples" "$tmp/pkg_config.m2v")
[ "$said" = "pictor $version" ] || fail "the pkg-config consumer said '$said'"
whole_stream "$tmp/pkg_config.m2v" || fail "the pkg-config consumer's stream is not whole"

# A CMake project through find_package, with nothing but the prefix to look in.
"$cmake" -S "$source/tests/install/consumer" -B "$tmp/cmake_consumer" -G "$generator" \
    -DCMAKE_C_COMPILER="$cc" -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF -DPICTOR_WANTED="$version" >"$tmp/configure.log" ||
    { cat "$tmp/configure.log"; fail "the CMake consumer does not configure"; }
found=$(sed -n 's/^Pictor_DIR:[A-Z]*=//p' "$tmp/cmake_consumer/CMakeCache.txt")
[ "$found" = "$lib/cmake/Pictor" ] || fail "find_package found Pictor in '$found'"
"$cmake" --build "$tmp/cmake_consumer" >"$tmp/build.log" ||
    { cat "$tmp/build.log"; fail "the CMake consumer does not build"; }
said=$("$tmp/cmake_consumer/consumer" "$source/examples" "$tmp/cmake.m2v")
[ "$said" = "pictor $version" ] || fail "the CMake consumer said '$said'"
whole_stream "$tmp/cmake.m2v" || fail "the CMake consumer's stream is not whole"

# The installed command, on the installed library.
pictor=$prefix/$bindir/pictor
runpath=$(readelf -d "$pictor" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')
case $runpath in
"" | "\$ORIGIN"*) ;;
*) fail "pictor's RUNPATH '$runpath' leads out of the prefix" ;;
esac
loaded=$(env -u LD_LIBRARY_PATH ldd "$pictor" | sed -n 's/.*libpictor\.so[^ ]* => \([^ ]*\).*/\1/p')
[ "$(realpath -s "${loaded:-none}")" = "$lib/libpictor.so.$major" ] || fail "pictor loads '$loaded'"
said=$(env -u LD_LIBRARY_PATH "$pictor" --version)
[ "$said" = "pictor $version" ] || fail "pictor --version said '$said'"
env -u LD_LIBRARY_PATH "$pictor" encode "$source/examples/still/astronaut.tif" -o "$tmp/cli.m2v" \
    --target 1200000 --standard pal --aspect 4:3 --quiet || fail "pictor encode failed"
# The example job asks for the same settings, so all three streams are the same.
cmp -s "$tmp/cli.m2v" "$tmp/pkg_config.m2v" || fail "pictor encode and the example job differ"
cmp -s "$tmp/cli.m2v" "$tmp/cmake.m2v" || fail "the two consumers' streams differ"
echo "installed and used: library, header, pictor, manual page, pkg-config and CMake package"
