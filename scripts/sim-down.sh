#!/usr/bin/env bash
# Stops the pcscd and the simulator that scripts/sim-up.sh started for <work-dir>; the device
# states stay for the next run.
#
#   scripts/sim-down.sh <work-dir>
set -uo pipefail
work=${1:?usage: sim-down.sh <work-dir>}

stop() {  # pid-file
  [ -f "$1" ] || return 0
  local pid
  pid=$(cat "$1")
  if kill "$pid" 2>/dev/null; then
    # pcscd takes about 1.5 s to leave after SIGTERM; a new one must not start before.
    for _ in $(seq 100); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.05
    done
    kill -0 "$pid" 2>/dev/null && kill -KILL "$pid" 2>/dev/null
  fi
  rm -f "$1"
}
stop "$work/pcscd.pid"
stop "$work/sim.pid"
exit 0
