#!/usr/bin/env bash
# A short libFuzzer run over the simulator's frame parsers and command handlers (clang build with
# ASan and UBSan); any crash or sanitizer report fails the stage.
set -euo pipefail
root=${VLRP11_ROOT:-$(cd "$(dirname "$0")/../.." && pwd)}
build=$root/build/fuzz
seconds=${VLRP11_FUZZ_SECONDS:-30}

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVLRP11_FUZZ=ON -DVLRP11_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target fuzz_sim_frames
corpus=$(mktemp -d)
trap 'rm -rf "$corpus"' EXIT
"$build/fuzz/fuzz_sim_frames" -max_total_time="$seconds" -max_len=2200 -print_final_stats=1 "$corpus"
echo "stage-40-fuzz-sim: passed"
