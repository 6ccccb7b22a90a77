#!/usr/bin/env bash
# The Windows build's way to the simulated PC/SC devices: the test-only winscard.dll under wine,
# talking straight to a running vlrp11-sim over its reader link (no pcscd). Lists both readers,
# reads their ATRs and completes device command 16 on each with the reply MAC checked.
set -euo pipefail
root=${VLRP11_ROOT:-$(cd "$(dirname "$0")/../.." && pwd)}
release=${VLRP11_BUILD_RELEASE:-$root/build/release}
windows=${VLRP11_BUILD_WINDOWS:-$root/build/windows}
source "$root/scripts/lib.sh"
work=$(mktemp -d)
sim_pid=
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  stop_wine
  rm -rf "$work"
}
trap cleanup EXIT

sim=$release/sim/vlrp11-sim
"$sim" init "$work/token" --kind token --serial 1001 --so-pin 87654321 --user-pin 123456 >/dev/null
"$sim" init "$work/hsm" --kind hsm --serial 2001 --so-pin 87654321 --user-pin 123456 >/dev/null
# The DLL's default readers: the token on 36864, the HSM on 36880, as scripts/sim-up.sh has them.
"$sim" serve "$work/token@127.0.0.1:36864" "$work/hsm@127.0.0.1:36880" >"$work/sim.log" 2>&1 &
sim_pid=$!
for _ in $(seq 100); do
  grep -q '^ready' "$work/sim.log" && break
  sleep 0.05
done

start_wine "$windows"
WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winscard=n,b" /usr/lib/wine/wine64 "$windows/tests/winscard_smoke.exe"
