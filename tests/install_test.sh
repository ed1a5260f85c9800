#!/usr/bin/env bash
# Installs the built tree into a temporary prefix, then builds and runs a tiny
# consumer against it twice: once found through pkg-config, once through
# find_package(gonioctl). Usage: install_test.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

cmake --install "$build" --prefix "$prefix" >/dev/null

fail() { echo "install test: $*" >&2; exit 1; }
[ -f "$prefix/include/gonioctl.h" ] || fail "header not installed"
lib=$(find "$prefix" -name 'libgonioctl.so.*.*' | head -n1)
[ -n "$lib" ] || fail "versioned library not installed"
soname=$(objdump -p "$lib" | awk '/SONAME/ {print $2}')
[ "$soname" = "libgonioctl.so.1" ] || fail "SONAME is '$soname'"
[ -e "$(dirname "$lib")/$soname" ] || fail "no $soname link"
[ -e "$(dirname "$lib")/libgonioctl.so" ] || fail "no development link libgonioctl.so"
libdir=$(dirname "$lib")

# pkg-config
pc=$(find "$prefix" -name gonioctl.pc | head -n1)
[ -n "$pc" ] || fail "gonioctl.pc not installed"
flags=$(PKG_CONFIG_PATH=$(dirname "$pc") pkg-config --cflags --libs gonioctl)
cc -o "$work/consumer_pc" "$here/install/consumer.c" $flags -Wl,-rpath,"$libdir"
"$work/consumer_pc" | grep -q "consumer ok" || fail "pkg-config consumer failed"

# find_package
cmake -S "$here/install" -B "$work/consumer" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/consumer" >/dev/null
"$work/consumer/consumer" | grep -q "consumer ok" || fail "find_package consumer failed"

# The installed tool finds the installed library.
if [ -x "$prefix/bin/gonioctl" ]; then
  "$prefix/bin/gonioctl" error --code 14 | grep -q "Interrupted by user" \
    || fail "installed gonioctl does not run"
fi
echo "install test passed"
