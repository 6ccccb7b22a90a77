#!/usr/bin/env bash
# Starts the simulated devices and a pcscd that sees the token and the PC/SC HSM through the
# project's reader driver, and waits until both cards answer through pcscd.
#
#   scripts/sim-up.sh <work-dir>
#
# Environment:
#   VLRP11_SIM_BUILD    build directory holding sim/vlrp11-sim (default: <repo>/build)
#   VLRP11_SIM_NETWORK  loopback addresses of the network HSMs (default "127.0.0.2 127.0.0.3")
#
# The work directory keeps the device states (provisioned on first use and kept across runs),
# the reader.conf.d entries, the logs and process ids, and an "env" file to source:
#   VLRP11_SIM_CONTROL       control socket of the simulator (vlrp11-sim ctl)
#   VLRP11_MORVA_HSM_CONFIG  configuration listing partitions 0-3 of every network HSM
#   VLRP11_SIM_USER_PIN, VLRP11_SIM_SO_PIN
#   VLRP11_SIM_WORK          the work directory (pcscd.pid, reader.conf.d, sim.pid, sim-serve.sh)
# A third reader, "Acme KESTRELWORKSHOP VELLARO token", holds a token too: its name only contains
# the token prefix, so the module must pass it over.
# scripts/sim-down.sh <work-dir> stops what this started. Only one pcscd can run on a machine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=${1:?usage: sim-up.sh <work-dir>}
build=${VLRP11_SIM_BUILD:-$root/build}
network=${VLRP11_SIM_NETWORK:-127.0.0.2 127.0.0.3}
sim=$build/sim/vlrp11-sim
driver=$build/sim/libifd-vlrp11sim.so
smoke=$build/sim/vlrp11-sim-smoke
token_link=127.0.0.1:36864
hsm_link=127.0.0.1:36880
decoy_link=127.0.0.1:36896
user_pin=123456
so_pin=87654321

for file in "$sim" "$driver" "$smoke"; do
  [ -e "$file" ] || { echo "sim-up: $file is missing; build the simulator targets first" >&2; exit 1; }
done
if pgrep -x pcscd >/dev/null; then
  echo "sim-up: a pcscd is already running (pid $(pgrep -x pcscd | tr '\n' ' ')); only one per machine" >&2
  exit 1
fi
mkdir -p "$work/state" "$work/reader.conf.d"
work=$(cd "$work" && pwd)

provision() {  # name kind serial model
  [ -d "$work/state/$1" ] && return 0
  "$sim" init "$work/state/$1" --kind "$2" --serial "$3" --model "$4" --version 7 \
    --so-pin "$so_pin" --user-pin "$user_pin" --objects sample >/dev/null
}
provision token token 1001 2000
provision hsm hsm 2001 9000
provision decoy token 1009 2000
devices=("$work/state/token@$token_link" "$work/state/hsm@$hsm_link" "$work/state/decoy@$decoy_link")
serial=3001
entries=()
for address in $network; do
  provision "net-$address" network "$serial" 9000
  devices+=("$work/state/net-$address@$address")
  for partition in 0 1 2 3; do
    entries+=("  { \"address\": \"$address\", \"partition\": $partition }")
  done
  serial=$((serial + 1))
done
{
  echo "["
  for i in "${!entries[@]}"; do
    if [ "$i" -lt $((${#entries[@]} - 1)) ]; then echo "${entries[$i]},"; else echo "${entries[$i]}"; fi
  done
  echo "]"
} >"$work/network-hsms.json"

reader_entry() {  # file friendly-name link
  printf 'FRIENDLYNAME "%s"\nDEVICENAME   %s\nLIBPATH      %s\n' "$2" "$3" "$driver" \
    >"$work/reader.conf.d/$1"
}
reader_entry vellaro-token "KESTRELWORKSHOP VELLARO token" "$token_link"
reader_entry vellaro-hsm "KESTRELWORKSHOP VELLARO HSM" "$hsm_link"
reader_entry decoy "Acme KESTRELWORKSHOP VELLARO token" "$decoy_link"

# Kept as a script, so that tests can kill the simulator and start it again on the same states.
printf 'exec %q serve --control %q' "$sim" "$work/control.sock" >"$work/sim-serve.sh"
printf ' %q' "${devices[@]}" >>"$work/sim-serve.sh"
echo >>"$work/sim-serve.sh"
bash "$work/sim-serve.sh" >"$work/sim.log" 2>&1 &
echo $! >"$work/sim.pid"
for _ in $(seq 100); do
  grep -qs '^ready' "$work/sim.log" && break
  kill -0 "$(cat "$work/sim.pid")" 2>/dev/null || { cat "$work/sim.log" >&2; exit 1; }
  sleep 0.05
done
grep -qs '^ready' "$work/sim.log" || { echo "sim-up: simulator did not start" >&2; exit 1; }

pcscd -f -c "$work/reader.conf.d" >"$work/pcscd.log" 2>&1 &
echo $! >"$work/pcscd.pid"

cat >"$work/env" <<ENV
export VLRP11_SIM_CONTROL=$work/control.sock
export VLRP11_MORVA_HSM_CONFIG=$work/network-hsms.json
export VLRP11_SIM_USER_PIN=$user_pin
export VLRP11_SIM_SO_PIN=$so_pin
export VLRP11_SIM_WORK=$work
ENV

# pcscd looks for cards about every 0.4 s: ready means SCardConnect works, not a reader list.
if ! "$smoke" --wait 10 >"$work/smoke-up.log" 2>&1; then
  cat "$work/smoke-up.log" >&2
  echo "sim-up: the cards did not come up through pcscd (see $work/pcscd.log)" >&2
  exit 1
fi
echo "sim-up: token, PC/SC HSM and network HSMs ($network) ready; source $work/env"
