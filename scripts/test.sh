#!/usr/bin/env bash
# Sets up a Debian machine and runs every test: the Linux build and the sanitizer build with their
# suites, the Windows build under wine64, then the stages in tests/ci/stage-*.sh (end-to-end
# runs with the simulator, real clients, short fuzz runs) in name order.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh

export VLRP11_ROOT=$root
export VLRP11_BUILD_RELEASE=$root/build/release
export VLRP11_BUILD_ASAN=$root/build/asan
export VLRP11_BUILD_WINDOWS=$root/build/windows
source scripts/lib.sh

passed=0
failed=0
run_ctest() {  # build-dir [ctest args...]
  local dir=$1 log
  shift
  log=$(mktemp)
  if (cd "$dir" && ctest --output-on-failure "$@") | tee "$log"; then :; fi
  local line total bad
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -1 || true)
  total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")
  bad=$(sed -E 's/.* ([0-9]+) tests failed.*/\1/' <<<"$line")
  if [ -z "$line" ]; then total=1; bad=1; fi
  passed=$((passed + total - bad))
  failed=$((failed + bad))
  rm -f "$log"
}

timed "build linux" configure_and_build "$VLRP11_BUILD_RELEASE" -DCMAKE_BUILD_TYPE=Release -DVLRP11_BENCH=ON
timed "build sanitizer" configure_and_build "$VLRP11_BUILD_ASAN" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVLRP11_SANITIZE=ON
timed "build windows" configure_and_build "$VLRP11_BUILD_WINDOWS" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw64.cmake"

timed "tests linux" run_ctest "$VLRP11_BUILD_RELEASE"
timed "tests sanitizer" run_ctest "$VLRP11_BUILD_ASAN"
start_wine "$VLRP11_BUILD_WINDOWS"
timed "tests windows" run_ctest "$VLRP11_BUILD_WINDOWS"
stop_wine

for stage in tests/ci/stage-*.sh; do
  [ -e "$stage" ] || continue
  if timed "$(basename "$stage" .sh)" bash "$stage"; then
    passed=$((passed + 1))
  else
    echo "FAILED: $stage" >&2
    failed=$((failed + 1))
  fi
done

echo
print_timings
echo "suites: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
