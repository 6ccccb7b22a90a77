#!/usr/bin/env bash
# A short libFuzzer run over the simulator front ends' parsers: control requests, endpoints, the
# reader link's headers and the command line (clang build with ASan and UBSan). The simulator's
# frame and object fuzz targets live in fuzz/ and run in stage-30. Any finding fails the stage.
set -euo pipefail
root=${VLRP11_ROOT:-$(cd "$(dirname "$0")/../.." && pwd)}
build=${VLRP11_BUILD_FUZZ:-$root/build/fuzz}
seconds=${VLRP11_FUZZ_SECONDS:-30}

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -Wno-dev -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVLRP11_FUZZ=ON -DVLRP11_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target fuzz_sim_frontends
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if "$build/sim/fuzz_sim_frontends" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
     -artifact_prefix="$work/" "$work" >"$work/log" 2>&1; then
  echo "fuzz_sim_frontends: $(grep -oE 'number_of_executed_units: *[0-9]+' "$work/log" | grep -oE '[0-9]+$') runs, no finding"
else
  tail -60 "$work/log" >&2
  exit 1
fi
