# Shell helpers shared by the project's scripts; source it.

declare -a VLRP11_TIMINGS=()

configure_and_build() {  # build-dir [cmake args...]
  local dir=$1
  shift
  cmake -S "$VLRP11_ROOT" -B "$dir" -G Ninja -Wno-dev "$@" >/dev/null
  cmake --build "$dir" -j"$(nproc)"
}

# Runs a command and records how long it took under a label.
timed() {  # label command...
  local label=$1 start rc=0
  shift
  start=$(date +%s)
  "$@" || rc=$?
  VLRP11_TIMINGS+=("$(printf '%-28s %5ss%s' "$label" $(($(date +%s) - start)) "$([ $rc -eq 0 ] || echo '  (failed)')")")
  return $rc
}

print_timings() {
  printf '%s\n' "${VLRP11_TIMINGS[@]}"
}

# A wine prefix of the build's own, without Mono/Gecko prompts or a display.
start_wine() {  # build-dir
  export WINEPREFIX=$1/wineprefix
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  unset DISPLAY
  if [ ! -d "$WINEPREFIX" ]; then
    /usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1 || true
  fi
  /usr/lib/wine/wineserver -p30 || true
}

stop_wine() {
  /usr/lib/wine/wineserver -k 2>/dev/null || true
}
