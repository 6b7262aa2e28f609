#!/usr/bin/env bash
# The COM road: the suites' Windows runner under Wine, attaching through COM
# to minicad's COM host, which the runner starts in another Wine process.
#   run-com-road.sh RUNNER_EXE HOST_EXE
# A throw-away prefix under /tmp, the wine server stopped at the end. Exit 77
# (skipped) when the Windows build is not there or Wine cannot start.
set -u
runner="$1"
host="$2"

skip() {
  echo "SKIPPED: $1"
  exit 77
}
[ -n "$runner" ] && [ -f "$runner" ] || skip "the road runner is not built (${runner:-no Windows build configured}): it needs the Windows build with Qt for Windows"
[ -n "$host" ] && [ -f "$host" ] || skip "minicad-com.exe is not built (${host:-no Windows build configured})"
wine="$(command -v wine64 || command -v wine || ls /usr/lib/wine/wine64 2>/dev/null)" || skip "Wine is not installed"
wineserver="$(command -v wineserver || ls /usr/lib/wine/wineserver64 2>/dev/null)" || skip "wineserver not found"

export WINEPREFIX="$(mktemp -d /tmp/lumo-roads-wine.XXXXXX)"
# QtTest writes its log through OutputDebugString under Wine: keep only that channel.
export WINEDEBUG=-all,warn+debugstr
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
unset DISPLAY WAYLAND_DISPLAY
cleanup() {
  "$wineserver" -k >/dev/null 2>&1
  rm -rf "$WINEPREFIX"
}
trap cleanup EXIT

# One more try from nothing: a prefix made while another Wine test makes its
# own can fail to load kernel32.dll.
"$wine" wineboot --init >/dev/null 2>&1 ||
  { "$wineserver" -k >/dev/null 2>&1; rm -rf "$WINEPREFIX"; mkdir -p "$WINEPREFIX";
    "$wine" wineboot --init >/dev/null 2>&1; } || skip "Wine cannot make a prefix"
"$wineserver" -w

to_windows() { local p="$1"; echo "Z:${p//\//\\}"; }
export LUMO_ROAD=com
export LUMO_MINICAD_COM="$(to_windows "$host")"
# Wine does not hand QT_QPA_PLATFORM on to Qt for Windows: name the platform.
timeout 900 "$wine" "$runner" -platform offscreen 2>&1 |
  sed -n -e 's/^[0-9a-f]*:warn:debugstr:OutputDebugStringA "\(.*\)"$/\1/p' -e '/road: /p' |
  sed -e 's/\\n$//' -e 's/\\n/\n/g'
exit "${PIPESTATUS[0]}"
