#!/usr/bin/env bash
# Installs the build tree into a scratch directory and builds a C client
# against it twice: with pkg-config and with find_package(Quarn).
set -euo pipefail
build="$1" client="$2"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cmake --install "$build" --prefix "$scratch/usr" >/dev/null
libdir=$(dirname "$(find "$scratch/usr" -name libquarnnt.so | head -n 1)")
export PKG_CONFIG_PATH="$libdir/pkgconfig"
export LD_LIBRARY_PATH="$libdir"
export QUARN_PREFIX="$scratch/prefix"
# A sanitizer build's libraries need a client built with the same runtime.
sanitize=""
ldd "$libdir/libquarnnt.so" | grep -q libasan && sanitize="-fsanitize=address,undefined"

# shellcheck disable=SC2046
cc -std=c11 -Wall -Wextra -Werror $sanitize -o "$scratch/client-pc" "$client/client.c" $(pkg-config --cflags --libs quarnnt)
"$scratch/client-pc" -v

cmake -S "$client" -B "$scratch/cmake-build" -G Ninja -DCMAKE_PREFIX_PATH="$scratch/usr" -DCMAKE_C_FLAGS="$sanitize" >/dev/null
cmake --build "$scratch/cmake-build" >/dev/null
"$scratch/cmake-build/client" -v
