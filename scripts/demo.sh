#!/usr/bin/env bash
# Sets up a Debian machine, builds the module and shows it to a real PKCS#11 client.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
export VLRP11_ROOT=$root
source scripts/lib.sh
configure_and_build "$root/build/release" -DCMAKE_BUILD_TYPE=Release >/dev/null

module=$root/build/release/src/libvlrp11.so
echo "== pkcs11-tool --module $module --show-info"
# pkcs11-tool goes on to list slots after the library information; the information is what
# this demo shows, so its presence decides the result.
info=$(pkcs11-tool --module "$module" --show-info 2>&1 || true)
echo "$info"
grep -q "VELLARO & MORVA PKCS#11 library (ver 1.7)" <<<"$info"
