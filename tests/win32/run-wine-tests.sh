#!/usr/bin/env bash
# Runs the cross-compiled Windows core tests under Wine, headless:
#   run-wine-tests.sh BIN_DIR CORPUS_FILE BUILD_DIR
# A throw-away prefix BUILD_DIR/wineprefix is made anew for each run, the
# automation server is started beside the tests, and the wine server is
# stopped at the end. Exit 77 (skipped) only when Wine cannot start.
set -u
bin="$1"
corpus="$2"
build="$3"

find_tool() {
  for candidate in "$@"; do
    if [ -x "$candidate" ]; then echo "$candidate"; return 0; fi
    if command -v "$candidate" >/dev/null 2>&1; then command -v "$candidate"; return 0; fi
  done
  return 1
}

skip() {
  echo "SKIPPED: $1"
  exit 77
}

wine="$(find_tool /usr/lib/wine/wine64 wine64 wine)" || skip "Wine is not installed (wine64 not found); scripts/install-deps installs it"
wineserver="$(find_tool /usr/lib/wine/wineserver64 wineserver)" || skip "wineserver not found"

for exe in win32_core_tests.exe lumo_test_server.exe; do
  if [ ! -f "$bin/$exe" ]; then
    echo "$bin/$exe is missing: build the windows-core target"
    echo "0 passed, 1 failed"
    exit 1
  fi
done

export WINEPREFIX="$build/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
unset DISPLAY WAYLAND_DISPLAY
logs="$build/wine-logs"
rm -rf "$WINEPREFIX" "$logs"
mkdir -p "$logs"

remove_prefix=0
cleanup() {
  "$wineserver" -k >/dev/null 2>&1
  wait 2>/dev/null
  # 700 MB: kept only when a run failed, for a look inside.
  if [ "$remove_prefix" = 1 ]; then rm -rf "$WINEPREFIX"; fi
}
trap cleanup EXIT

echo "Creating the Wine prefix $WINEPREFIX"
if ! timeout 180 "$wine" wineboot --init >"$logs/wineboot.log" 2>&1; then
  tail -5 "$logs/wineboot.log"
  skip "Wine cannot start (wineboot --init failed)"
fi
# No X server here: the null display driver still gives real windows and DCs.
if ! timeout 60 "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >"$logs/reg.log" 2>&1; then
  cat "$logs/reg.log"
  skip "Wine cannot start (reg add failed)"
fi
# Start over so every process sees the null driver.
"$wineserver" -k >/dev/null 2>&1
"$wineserver" -w >/dev/null 2>&1

to_windows() {
  local p="$1"
  echo "Z:${p//\//\\}"
}

# The server registers its ProgIDs under HKLM\Software\Classes and then
# waits for calls; the tests wait for it to come up.
"$wine" "$bin/lumo_test_server.exe" >"$logs/server.log" 2>&1 &

timeout 150 "$wine" "$bin/win32_core_tests.exe" "$(to_windows "$corpus")" >"$logs/tests.log" 2>&1
rc=$?
if [ $rc -ne 0 ]; then
  echo "--- automation server output"
  cat "$logs/server.log"
  echo "---"
fi
if grep -Eq '^[0-9]+ passed, [0-9]+ failed' "$logs/tests.log"; then
  cat "$logs/tests.log"
else
  cat "$logs/tests.log"
  echo "the test executable ended early (exit code $rc)"
  echo "0 passed, 1 failed"
  [ $rc -eq 0 ] && rc=1
fi
[ $rc -eq 0 ] && remove_prefix=1
exit $rc
