#!/usr/bin/env bash
# Runs each benchmark beside its reference (OpenSSL, the GOST engine, or the least work possible)
# and prints the table with ratios (reference time / ours). Usage: scripts/bench.sh [build-dir], a
# build configured with -DVLRP11_BENCH=ON (default build/release).
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

# The slot refresh and the PKCS#11 calls beside SoftHSM2 against the simulated devices through
# pcscd; only one pcscd runs per machine.
if pgrep -x pcscd >/dev/null; then
  echo "(slot refresh and PKCS#11 calls skipped: another pcscd is running)"
else
  cmake --build "$build" --target vlrp11-sim ifd-vlrp11sim vlrp11-sim-smoke >/dev/null
  work=$(mktemp -d)
  trap 'bash "$root/scripts/sim-down.sh" "$work" >/dev/null 2>&1; rm -rf "$work"' EXIT
  VLRP11_SIM_BUILD=$build bash "$root/scripts/sim-up.sh" "$work" >/dev/null
  (source "$work/env" && table slots && table p11)
fi
