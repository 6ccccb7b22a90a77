#!/usr/bin/env bash
# The front end under ThreadSanitizer: the api tests, then discovery and the library lock with
# simulated devices in process, several threads listing slots, reading token information and
# waiting for slot events while one finalises and initialises the library, then the short stress
# run on every device kind. Only those three test programs are built.
set -euo pipefail
root=${VLRP11_ROOT:-$(cd "$(dirname "$0")/../.." && pwd)}
build=${VLRP11_BUILD_TSAN:-$root/build/tsan}
cmake -S "$root" -B "$build" -G Ninja -Wno-dev -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVLRP11_TSAN=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target api_tests e2e_tests stress_tests >/dev/null
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"
timeout 600 "$build/tests/api_tests" --gtest_brief=1
timeout 600 "$build/tests/e2e_tests" --gtest_brief=1 --gtest_filter='SlotDiscovery.*:LibraryLock.*'
timeout 600 "$build/tests/stress_tests" --gtest_brief=1
