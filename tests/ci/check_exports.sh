#!/usr/bin/env bash
# Passes when the module exports exactly C_GetFunctionList and, for the DLL, imports no MinGW
# runtime DLL.
set -euo pipefail
module=$1
case "$module" in
  *.dll)
    dump=$(x86_64-w64-mingw32-objdump -p "$module")
    # Rows of the export name table look like "	[   0] C_GetFunctionList".
    exports=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" | sed 1d | grep -oE '\] [A-Za-z_0-9]+$' | cut -c3-)
    imports=$(grep 'DLL Name:' <<<"$dump" | awk '{print $3}')
    echo "imports: $(echo $imports)"
    if grep -viE '^(KERNEL32|msvcrt|WINSCARD|WS2_32|ADVAPI32)\.dll$' <<<"$imports"; then
      echo "unexpected DLL import" >&2; exit 1
    fi
    ;;
  *)
    exports=$(nm -D --defined-only "$module" | awk '$2 ~ /^[TtDdBbRrVvWwi]$/ {print $3}')
    ;;
esac
echo "exports: $(echo $exports)"
[ "$exports" = "C_GetFunctionList" ] || { echo "expected exactly C_GetFunctionList" >&2; exit 1; }
