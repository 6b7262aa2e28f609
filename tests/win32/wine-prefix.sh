# Sourced by the Wine test runners: finds Wine, makes a throw-away prefix
# (WINEPREFIX must be set) with the null display driver, and stops the wine
# server at exit, removing the prefix when the run passed
# (remove_prefix=1). Exit 77 (skipped) only when Wine cannot start.

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

to_windows() {
  local p="$1"
  echo "Z:${p//\//\\}"
}

wine="$(find_tool /usr/lib/wine/wine64 wine64 wine)" || skip "Wine is not installed (wine64 not found); scripts/install-deps installs it"
wineserver="$(find_tool /usr/lib/wine/wineserver64 wineserver)" || skip "wineserver not found"

export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
unset DISPLAY WAYLAND_DISPLAY

remove_prefix=0
cleanup() {
  "$wineserver" -k >/dev/null 2>&1
  wait 2>/dev/null
  # 700 MB: kept only when a run failed, for a look inside.
  if [ "$remove_prefix" = 1 ]; then rm -rf "$WINEPREFIX"; fi
}

# make_prefix LOG_DIR
make_prefix() {
  local logs="$1"
  rm -rf "$WINEPREFIX"
  trap cleanup EXIT
  echo "Creating the Wine prefix $WINEPREFIX"
  # A prefix made while another Wine test makes its own can fail to load
  # kernel32.dll: one more try from nothing before calling Wine unusable.
  if ! timeout 180 "$wine" wineboot --init >"$logs/wineboot.log" 2>&1; then
    "$wineserver" -k >/dev/null 2>&1
    rm -rf "$WINEPREFIX"
    if ! timeout 180 "$wine" wineboot --init >"$logs/wineboot.log" 2>&1; then
      tail -5 "$logs/wineboot.log"
      skip "Wine cannot start (wineboot --init failed)"
    fi
  fi
  # No X server here: the null display driver still gives real windows and DCs.
  if ! timeout 60 "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >"$logs/reg.log" 2>&1; then
    cat "$logs/reg.log"
    skip "Wine cannot start (reg add failed)"
  fi
  # Start over so every process sees the null driver.
  "$wineserver" -k >/dev/null 2>&1
  "$wineserver" -w >/dev/null 2>&1
}
