#!/usr/bin/env bash
# The COM road: the suites' Windows runner under Wine, attaching through COM
# to minicad's COM host, which the runner starts in another Wine process.
#   run-com-road.sh RUNNER_EXE HOST_EXE
# A throw-away prefix under /tmp, the wine server stopped at the end. Exit 77
# (skipped) when the Windows build is not there or Wine cannot start.
set -u
runner="$1"
host="$2"

. "$(dirname "$0")/../win32/wine-prefix.sh"

[ -n "$runner" ] && [ -f "$runner" ] || skip "the road runner is not built (${runner:-no Windows build configured}): it needs the Windows build with Qt for Windows"
[ -n "$host" ] && [ -f "$host" ] || skip "minicad-com.exe is not built (${host:-no Windows build configured})"

com_road roads "$host"
# QtTest writes its log through OutputDebugString under Wine: keep only that channel.
export WINEDEBUG=-all,warn+debugstr
# Wine does not hand QT_QPA_PLATFORM on to Qt for Windows: name the platform.
timeout 900 "$wine" "$runner" -platform offscreen 2>&1 |
  sed -n -e 's/^[0-9a-f]*:warn:debugstr:OutputDebugStringA "\(.*\)"$/\1/p' -e '/road: /p' |
  sed -e 's/\\n$//' -e 's/\\n/\n/g'
exit "${PIPESTATUS[0]}"
