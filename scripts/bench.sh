#!/usr/bin/env bash
# Runs each benchmark beside its reference (OpenSSL or the GOST engine) and prints the table with
# ratios (reference CPU time / ours). Usage: scripts/bench.sh [build-dir], a build configured with
# -DVLRP11_BENCH=ON (default build/release).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/release}

table() {  # bench name
  cmake --build "$build" --target "bench_$1" >/dev/null
  echo "== $1"
  "$build/bench/bench_$1" --benchmark_format=json --benchmark_min_time=0.5 |
    python3 "$root/scripts/bench_table.py"
}

table gost
