#!/usr/bin/env bash
# Code that must not branch on secrets, checked with valgrind's memcheck: the secret inputs are
# marked undefined, and any conditional jump or address that depends on them is an error.
set -euo pipefail
root=${VLRP11_ROOT:-$(cd "$(dirname "$0")/../.." && pwd)}
build=${VLRP11_BUILD_RELEASE:-$root/build/release}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for source in "$root"/tests/ci/constant_time/*_ct.cpp; do
  program=$work/$(basename "$source" .cpp)
  c++ -std=c++20 -O2 -g -Wall -Wextra -Werror -I"$root/src" -I"$root/include" "$source" \
    "$build/src/libvlrp11_core.a" -o "$program"
  valgrind --quiet --error-exitcode=1 --track-origins=yes "$program"
done
