#!/usr/bin/env bash
# Runs each benchmark beside its reference (OpenSSL or the GOST engine) and prints the table with
# ratios (reference CPU time / ours). Usage: scripts/bench.sh [build-dir], a build configured with
# -DVLRP11_BENCH=ON (default build/release).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/release}

table() {  # bench name, then extra benchmark arguments
  local name=$1
  shift
  cmake --build "$build" --target "bench_$name" >/dev/null
  echo "== $name $*"
  "$build/bench/bench_$name" --benchmark_format=json --benchmark_min_time=0.5 "$@" |
    python3 "$root/scripts/bench_table.py"
}

table gost
table ec
table hash_aes
table device
# OpenSSL without AES-NI (and PCLMULQDQ): the reference for our table path.
echo "(OpenSSL with OPENSSL_ia32cap masking AES-NI)"
OPENSSL_ia32cap="~0x200000200000000" table hash_aes --benchmark_filter=aes
