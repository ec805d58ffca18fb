#!/usr/bin/env bash
# Installs the build tree into a scratch prefix, as a packager would, and
# checks that the installed tree works from there without LD_LIBRARY_PATH:
# versioned SONAMEs and $ORIGIN-relative RUNPATHs, C clients of libquarnnt
# and libquarni18n built with pkg-config and with find_package(Quarn), the
# installed quarn, its manual pages and its bash completion.
set -euo pipefail
build="$1" client="$2"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
unset LD_LIBRARY_PATH
cmake --install "$build" --prefix "$scratch/usr" >/dev/null
usr="$scratch/usr"
libdir=$(dirname "$(find "$usr" -name libquarnnt.so | head -n 1)")
export PKG_CONFIG_PATH="$libdir/pkgconfig"
export QUARN_PREFIX="$scratch/prefix"
fail() { echo "install test: $*" >&2; exit 1; }
dynamic() { readelf -d "$1" | sed -n "s/.*($2).*\[\(.*\)\]/\1/p"; }

# A sanitizer build's libraries need a client built with the same runtime.
sanitize=""
ldd "$libdir/libquarnnt.so" | grep -q libasan && sanitize="-fsanitize=address,undefined"

for lib in quarnnt quarni18n quarnks; do
  soname=$(dynamic "$libdir/lib$lib.so" SONAME)
  [[ $soname =~ ^lib$lib\.so\.[0-9]+$ ]] || fail "lib$lib.so has the SONAME '$soname'"
  [ -e "$libdir/$soname" ] || fail "$soname is not installed"
  [ "$(dynamic "$libdir/lib$lib.so" RUNPATH)" = '$ORIGIN' ] || fail "lib$lib.so does not find its siblings beside it"
done
bin_runpath=$(dynamic "$usr/bin/quarn" RUNPATH)
[ "$bin_runpath" = "\$ORIGIN/$(realpath --relative-to="$usr/bin" "$libdir")" ] || fail "quarn has the RUNPATH '$bin_runpath'"

# pkg-config: a program in a non-system prefix links with the flags it
# gives, and carries the prefix in its own RUNPATH as its builder chooses.
# shellcheck disable=SC2046
cc -std=c11 -Wall -Wextra -Werror $sanitize -o "$scratch/nt-pc" "$client/client.c" \
  $(pkg-config --cflags --libs quarnnt) -Wl,-rpath,"$libdir"
"$scratch/nt-pc" -v
# shellcheck disable=SC2046
cc -std=c11 -Wall -Wextra -Werror $sanitize -o "$scratch/i18n-pc" "$client/../i18n/c_client.c" \
  $(pkg-config --cflags --libs quarni18n) -Wl,-rpath,"$libdir"
"$scratch/i18n-pc"
# A static link needs the sibling and ICU as well.
pkg-config --static --libs quarni18n | grep -q -- '-lquarnks' || fail "quarni18n.pc does not name quarnks for static links"
pkg-config --static --libs quarni18n | grep -q -- '-licuuc' || fail "quarni18n.pc does not name ICU for static links"

cmake -S "$client" -B "$scratch/cmake-build" -G Ninja -DCMAKE_PREFIX_PATH="$usr" -DCMAKE_C_FLAGS="$sanitize" >/dev/null
cmake --build "$scratch/cmake-build" >/dev/null
"$scratch/cmake-build/client" -v
"$scratch/cmake-build/i18n_client"

# The installed tool, with the libraries beside it.
"$usr/bin/quarn" --version | grep -q '^quarn [0-9]' || fail "quarn --version"
"$usr/bin/quarn" setup >/dev/null
[ "$("$usr/bin/quarn" config get HostData)" = 'C:\ProgramData\Quarn\Zendrel' ] || fail "quarn config get HostData"
[ "$(echo 'a=b' | "$usr/bin/quarn" mime encode --qp --from UTF-8 --to UTF-8)" = 'a=3Db' ] || fail "quarn mime encode"

# The first program of docs/install.md, as written there.
sed -n '/^```c$/,/^```$/p' "$client/../../docs/install.md" | sed '1d;$d' >"$scratch/first.c"
# shellcheck disable=SC2046
cc -std=c11 -Wall -Wextra -Werror $sanitize -o "$scratch/first" "$scratch/first.c" \
  $(pkg-config --cflags --libs quarnnt) -Wl,-rpath,"$libdir"
"$scratch/first" | grep -qx 'HostData: C:\\ProgramData\\Quarn\\Zendrel (status 0)' || fail "the program of install.md"

grep -q '^\.TH QUARN 1' "$usr/share/man/man1/quarn.1" || fail "quarn(1) is not installed"
grep -q '^\.TH QUARN-MACHINE.TOML 5' "$usr/share/man/man5/quarn-machine.toml.5" || fail "quarn-machine.toml(5) is not installed"
completion="$usr/share/bash-completion/completions/quarn"
complete_line() {
  PATH="$usr/bin:$PATH" bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _quarn; echo "${COMPREPLY[*]}"' \
    _ "$completion" "$@"
}
expect_completion() {
  local want="$1"
  shift
  [ "$(complete_line "$@")" = "$want" ] || fail "the bash completion offers '$(complete_line "$@")' for '$*'"
}
expect_completion HostData quarn config get Host
expect_completion "getent" quarn ge
expect_completion "passwd" quarn getent pa
expect_completion "stats" quarn cache st
expect_completion "--global" quarn cache flush --gl
expect_completion "/v /ve /va" quarn reg delete 'HKCU\x' /v
expect_completion "Shift_JIS" quarn mime encode --from Shift_
echo "the installed tree works from $usr"
