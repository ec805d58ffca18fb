#!/usr/bin/env bash
# Compares the dynamic symbols a shared object defines with the checked-in list.
set -euo pipefail
lib="$1" expected="$2"
actual=$(nm -D --defined-only --format=posix "$lib" | cut -d' ' -f1 | sort -u)
if ! diff -u "$expected" <(echo "$actual"); then
  echo "the exports of $(basename "$lib") differ from $expected (- expected, + actual)" >&2
  exit 1
fi
