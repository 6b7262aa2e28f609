# Sourced by the Wine test runners: finds Wine, makes a throw-away prefix
# (WINEPREFIX must be set) with the null display driver, and stops the wine
# server at exit, removing the prefix when the run passed
# (remove_prefix=1). Exit 77 (skipped) only when Wine cannot start.
# com_road sets up the COM road for a client of minicad's COM host.

. "$(dirname "${BASH_SOURCE[0]}")/wine-common.sh"
find_wine
unset DISPLAY WAYLAND_DISPLAY

remove_prefix=0
temp_logs=""
cleanup() {
  "$wineserver" -k >/dev/null 2>&1
  wait 2>/dev/null
  # 700 MB: kept only when a run failed, for a look inside.
  if [ "$remove_prefix" = 1 ]; then rm -rf "$WINEPREFIX"; fi
  [ -n "$temp_logs" ] && rm -rf "$temp_logs"
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

# com_road NAME HOST_EXE: a prefix and a log folder under /tmp (NAME says
# whose), both removed whatever the outcome, and the environment in which the
# client starts HOST_EXE and attaches to it through COM.
com_road() {
  export WINEPREFIX="$(mktemp -d "/tmp/lumo-$1-wine.XXXXXX")"
  logs="$(mktemp -d "/tmp/lumo-$1-logs.XXXXXX")"
  temp_logs="$logs"
  remove_prefix=1
  make_prefix "$logs"
  export LUMO_ROAD=com
  export LUMO_MINICAD_COM="$(to_windows "$2")"
}
