# Sourced by wine-prefix.sh and wine-desktop.sh: finding Wine, the skip
# every Wine test ends with when Wine cannot run, and paths as Wine sees them.

skip() { echo "SKIPPED: $1"; exit 77; }

find_tool() {
  for candidate in "$@"; do
    if [ -x "$candidate" ]; then echo "$candidate"; return 0; fi
    if command -v "$candidate" >/dev/null 2>&1; then command -v "$candidate"; return 0; fi
  done
  return 1
}

# Sets wine and wineserver, and the environment every Wine run of the tests has.
find_wine() {
  wine="$(find_tool /usr/lib/wine/wine64 wine64 wine)" || skip "Wine is not installed (wine64 not found); scripts/install-deps installs it"
  wineserver="$(find_tool /usr/lib/wine/wineserver64 wineserver)" || skip "wineserver not found"
  export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
}

# A Linux path as the Windows programs see it (drive Z:).
to_windows() {
  local p="$1"
  echo "Z:${p//\//\\}"
}
