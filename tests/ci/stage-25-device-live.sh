#!/usr/bin/env bash
# The library's device access against the running simulator: PC/SC through pcsc-lite, pcscd and
# the project's reader driver; network HSMs over loopback TCP; transport faults on the way.
set -euo pipefail
root=${VLRP11_ROOT:-$(cd "$(dirname "$0")/../.." && pwd)}
build=${VLRP11_BUILD_RELEASE:-$root/build/release}
work=$(mktemp -d)
trap 'bash "$root/scripts/sim-down.sh" "$work"; rm -rf "$work"' EXIT

VLRP11_SIM_BUILD=$build bash "$root/scripts/sim-up.sh" "$work"
source "$work/env"
export VLRP11_SIM=$build/sim/vlrp11-sim
"$build/tests/live_tests"
