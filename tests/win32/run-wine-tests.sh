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

. "$(dirname "$0")/wine-prefix.sh"

for exe in win32_core_tests.exe lumo_test_server.exe; do
  if [ ! -f "$bin/$exe" ]; then
    echo "$bin/$exe is missing: build the windows-core target"
    echo "0 passed, 1 failed"
    exit 1
  fi
done

export WINEPREFIX="$build/wineprefix"
logs="$build/wine-logs"
rm -rf "$logs"
mkdir -p "$logs"
make_prefix "$logs"

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
