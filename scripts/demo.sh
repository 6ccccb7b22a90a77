#!/usr/bin/env bash
# Sets up a Debian machine, builds the module and the device simulator, starts simulated
# devices (a token and a PC/SC HSM behind pcscd, two network HSMs on loopback TCP) and shows them
# through the module to real PKCS#11 clients: OpenSC's pkcs11-tool and GnuTLS's p11tool.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
export VLRP11_ROOT=$root
source scripts/lib.sh
build=$root/build/release
configure_and_build "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null

work=$(mktemp -d)
trap 'bash "$root/scripts/sim-down.sh" "$work" >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
echo "== simulated devices"
VLRP11_SIM_BUILD=$build bash scripts/sim-up.sh "$work"
source "$work/env"
"$build/sim/vlrp11-sim-smoke" --tcp 127.0.0.2 --tcp 127.0.0.3

module=$build/src/libvlrp11.so
echo
echo "== pkcs11-tool --module $module --show-info"
# pkcs11-tool goes on to list slots after the library information; the information is what
# this demo shows, so its presence decides the result.
info=$(pkcs11-tool --module "$module" --show-info 2>&1 || true)
echo "$info"
grep -q "VELLARO & MORVA PKCS#11 library (ver 1.7)" <<<"$info"

p11=(pkcs11-tool --module "$module")
echo
echo "== pkcs11-tool -L: every slot, with its token"
slots=$("${p11[@]}" -L)
echo "$slots"
# The texts of each kind, and one serial number per device partition.
expect() {  # count text
  local found
  found=$(grep -c -- "$2" <<<"$slots" || true)
  [ "$found" -eq "$1" ] || { echo "demo: expected $1 lines with '$2', found $found" >&2; exit 1; }
}
expect 1 "token model        : VELLARO 2000$"
expect 1 "token manufacturer : KESTRELWORKSHOP LLC$"
expect 4 "token label        : MORVA mini HSM$"
expect 8 "token label        : MORVA HSM$"
expect 12 "token manufacturer : RVN LLC$"
for serial in 1001 2001:{0..3} 3001:{0..3} 3002:{0..3}; do
  expect 1 "serial num         : $serial$"
done

echo
echo "== pkcs11-tool -T: the slots with a token"
tokens=$("${p11[@]}" -T)
head -n 20 <<<"$tokens"
echo "   ... ($(grep -c '^Slot' <<<"$tokens") slots in all)"

for slot in 1 2; do
  echo
  echo "== pkcs11-tool --slot $slot -M: the mechanisms of the $([ $slot = 1 ] && echo token || echo PC/SC HSM)"
  mechanisms=$("${p11[@]}" --slot "$slot" -M)
  echo "$mechanisms"
  count=$(grep -c '^  ' <<<"$mechanisms")
  [ "$count" -eq 44 ] || { echo "demo: slot $slot offers $count mechanisms, not 44" >&2; exit 1; }
done

echo
echo "== p11tool --provider $module --list-tokens"
listed=$(p11tool --provider "$module" --list-tokens)
echo "$listed"
count=$(grep -c '^Token ' <<<"$listed")
[ "$count" -eq 13 ] || { echo "demo: p11tool lists $count tokens, not 13" >&2; exit 1; }

echo
echo "== a real client on the token: list, log in, generate an EC key, sign with the provisioned key, openssl verifies"
VLRP11_CLIENT_MODULE=$module VLRP11_CLIENT_KINDS=token \
  VLRP11_CLIENT_FLOWS='-L$|login|keypairgen EC prime256v1|sign ECDSA \(' \
  bash tests/clients/pkcs11-tool.sh
