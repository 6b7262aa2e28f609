#!/usr/bin/env bash
# Runs minicad's COM host under Wine and its tests in a second Wine process:
#   run-comhost-tests.sh HOST_EXE TESTS_BIN_DIR DRAWING BUILD_DIR
# HOST_EXE is minicad-com.exe of a Windows build; the tests come from the
# windows-core build. Fresh prefix BUILD_DIR/wineprefix-comhost, wine server
# stopped at the end. Exit 77 (skipped) when the host was not built or Wine
# cannot start.
set -u
host="$1"
bin="$2"
drawing="$3"
build="$4"
progid="LumoTest.ComHost"

. "$(dirname "$0")/wine-prefix.sh"

if [ -z "$host" ] || [ ! -f "$host" ]; then
  skip "minicad-com.exe is not built (${host:-no Windows build configured}): it needs the Windows build with Qt for Windows"
fi
if [ ! -f "$bin/minicad_com_tests.exe" ]; then
  echo "$bin/minicad_com_tests.exe is missing: build the windows-core target"
  echo "0 passed, 1 failed"
  exit 1
fi

export WINEPREFIX="$build/wineprefix-comhost"
logs="$build/wine-logs-comhost"
rm -rf "$logs"
mkdir -p "$logs"
start=$(date +%s)
make_prefix "$logs"
echo "Wine prefix ready after $(( $(date +%s) - start )) s"

# The host registers both ProgIDs under HKLM\Software\Classes, then serves;
# the tests wait for it to come up.
"$wine" "$host" --progid "$progid" "$(to_windows "$drawing")" >"$logs/host.log" 2>&1 &

timeout 120 "$wine" "$bin/minicad_com_tests.exe" "$progid" >"$logs/tests.log" 2>&1
rc=$?
if [ $rc -ne 0 ]; then
  echo "--- host output"
  cat "$logs/host.log"
  echo "---"
fi
cat "$logs/tests.log"
if ! grep -Eq '^[0-9]+ passed, [0-9]+ failed' "$logs/tests.log"; then
  echo "the test executable ended early (exit code $rc)"
  echo "0 passed, 1 failed"
  [ $rc -eq 0 ] && rc=1
fi
echo "Done after $(( $(date +%s) - start )) s"
[ $rc -eq 0 ] && remove_prefix=1
exit $rc
