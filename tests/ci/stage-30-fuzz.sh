#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and UndefinedBehaviorSanitizer) and
# runs each one briefly from its seed corpus in fuzz/corpus/<name>/. Fails on any crash, leak,
# sanitizer report or timeout. VLRP11_FUZZ_SECONDS sets the time per target (default 30).
set -euo pipefail
root=${VLRP11_ROOT:-$(cd "$(dirname "$0")/../.." && pwd)}
build=${VLRP11_BUILD_FUZZ:-$root/build/fuzz}
seconds=${VLRP11_FUZZ_SECONDS:-30}

targets=()
for source in "$root"/fuzz/*_fuzz.cpp; do
  name=$(basename "$source" _fuzz.cpp)
  targets+=("$name")
done

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -Wno-dev -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVLRP11_FUZZ=ON -DVLRP11_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target "${targets[@]/#/fuzz_}"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
for name in "${targets[@]}"; do
  # The run adds inputs to a scratch copy; the committed seeds stay as they are.
  mkdir -p "$work/$name"
  if [ -d "$root/fuzz/corpus/$name" ]; then
    cp -r "$root/fuzz/corpus/$name/." "$work/$name/"
  fi
  log=$work/$name.log
  if "$build/fuzz/fuzz_$name" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
       -artifact_prefix="$work/$name-" "$work/$name" >"$log" 2>&1; then
    echo "fuzz_$name: $(grep -oE 'number_of_executed_units: *[0-9]+' "$log" | grep -oE '[0-9]+$') runs, no finding"
  else
    echo "fuzz_$name: FINDING" >&2
    grep -A40 -E '^==[0-9]+==|ERROR:|runtime error' "$log" | head -80 >&2 || tail -40 "$log" >&2
    for artifact in "$work/$name"-*; do
      [ -e "$artifact" ] && { echo "input ($artifact):" >&2; od -An -c "$artifact" | head -20 >&2; }
    done
    failed=1
  fi
done
exit $failed
