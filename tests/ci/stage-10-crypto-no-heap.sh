#!/usr/bin/env bash
# The algorithms of src/crypto work in caller-owned contexts and stack arrays: none of their
# object files may refer to an allocator.
set -euo pipefail
root=${VLRP11_ROOT:-$(cd "$(dirname "$0")/../.." && pwd)}
build=${VLRP11_BUILD_RELEASE:-$root/build/release}
objects=$(find "$build/src/CMakeFiles/vlrp11_core.dir/crypto" -name '*.o')
[ -n "$objects" ] || { echo "no crypto objects under $build" >&2; exit 1; }
status=0
for object in $objects; do
  found=$(nm -u "$object" | awk '{print $2}' |
    grep -E '^(malloc|calloc|realloc|free|aligned_alloc|posix_memalign|_Znw|_Zna|_Zdl|_Zda)' || true)
  if [ -n "$found" ]; then
    echo "$(basename "$object") uses the heap: $found" >&2
    status=1
  fi
done
exit $status
