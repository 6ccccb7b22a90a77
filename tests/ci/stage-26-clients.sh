#!/usr/bin/env bash
# Real PKCS#11 clients against the release module and the simulated token, PC/SC HSM and
# network HSM: each script in tests/clients prints one line per flow and its own tally.
set -uo pipefail
root=${VLRP11_ROOT:-$(cd "$(dirname "$0")/../.." && pwd)}
build=${VLRP11_BUILD_RELEASE:-$root/build/release}
work=$(mktemp -d)
trap 'bash "$root/scripts/sim-down.sh" "$work"; rm -rf "$work"' EXIT

VLRP11_SIM_BUILD=$build bash "$root/scripts/sim-up.sh" "$work" || exit 1
source "$work/env"
export VLRP11_CLIENT_MODULE=$build/src/libvlrp11.so

failed=()
for client in pkcs11-tool p11tool openssl pykcs11 nss java; do
  echo "== $client"
  bash "$root/tests/clients/$client.sh" || failed+=("$client")
done
[ ${#failed[@]} -eq 0 ] || { echo "stage-26-clients: failed: ${failed[*]}" >&2; exit 1; }
echo "stage-26-clients: passed"
