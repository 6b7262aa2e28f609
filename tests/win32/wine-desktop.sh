# Sourced by the tests that run lumoedit.exe as a user would: a fresh Wine
# prefix under $work on an X server of its own, with the fonts of a Japanese
# Windows, and the probe's view of the windows. Exit 77 (skipped) only when
# Wine itself cannot start.

. "$(dirname "${BASH_SOURCE[0]}")/wine-common.sh"
passed=0 failed=0
pass() { passed=$((passed + 1)); echo "ok: $1"; }
fail() { failed=$((failed + 1)); echo "FAIL: $1"; }
missing() { echo "$1"; echo "0 passed, 1 failed"; exit 1; }

# The runners' arguments: desktop_args NAME TARGET FILE PROBE_EXE WORK_DIR
# sets NAME to FILE's full path, probe and work; a file not built (TARGET
# makes FILE) fails the run.
desktop_args() {
  printf -v "$1" '%s' "$(realpath "$3")"
  probe="$(realpath "$4")"
  work="$5"
  for f in "${!1}" "$probe"; do
    [ -f "$f" ] || missing "$f is missing: build the $2 and windows-core targets"
  done
}

pids=()
xvfb=""
wine="" wineserver=""
# The runner's own cleanup (a folder to unlock) runs first.
desktop_cleanup() {
  for p in "${pids[@]}"; do kill -9 "$p" 2>/dev/null; done
  [ -n "$wineserver" ] && "$wineserver" -k >/dev/null 2>&1
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
  wait 2>/dev/null
  [ -n "${WINEPREFIX:-}" ] && rm -rf "$WINEPREFIX"
}

start_desktop() {
  find_wine
  for t in Xvfb xdotool import; do
    command -v "$t" >/dev/null 2>&1 || missing "$t is missing: run scripts/install-deps"
  done
  rm -rf "$work"
  mkdir -p "$work"
  export WINEPREFIX="$work/prefix"
  unset WAYLAND_DISPLAY

  # Wine needs an X server for real top-level windows.
  exec 3>"$work/display"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
  xvfb=$!
  exec 3>&-
  for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
  [ -s "$work/display" ] || { cat "$work/xvfb.log"; missing "Xvfb did not start"; }
  export DISPLAY=":$(head -1 "$work/display")"

  if ! timeout 180 "$wine" wineboot --init >"$work/wineboot.log" 2>&1; then
    tail -5 "$work/wineboot.log"
    skip "Wine cannot start (wineboot --init failed)"
  fi
  # The fonts of a Japanese Windows: Tahoma, which this Wine does not load from
  # its own data folder, and the Japanese UI fonts, replaced by IPAGothic.
  mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
  cp /usr/share/wine/fonts/tahoma*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null ||
    echo "note: no Tahoma in /usr/share/wine/fonts (fonts-wine): captions may be drawn in a fallback font"
  for f in "MS UI Gothic" "MS Gothic" "MS PGothic" "Yu Gothic UI" "Meiryo" "Meiryo UI"; do
    "$wine" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$f" /d IPAGothic /f >/dev/null 2>&1
  done
  "$wineserver" -w
}

inspect() { # FILE: facts of every visible titled top-level window
  rm -f "$work/$1"
  "$wine" "$probe" inspect "$(to_windows "$work/$1")" >/dev/null 2>&1
  sed -i 's/\r$//' "$work/$1" 2>/dev/null
}
# The three lines of the first visible window whose title line matches RE in FILE.
window_block() { awk -v re="$2" '/^hwnd=/{show = ($0 ~ "visible=1" && $0 ~ re)} show' "$work/$1" | head -3; }
field() { sed -n "s/.*$1=\([^ ]*\).*/\1/p" | head -1; }
title_of() { sed -n 's/.*title="\(.*\)"$/\1/p' | head -1; }
main_window() { # FILE: inspects; blk, title of the window main_re matches, cx cy its client area's origin
  inspect "$1"
  blk="$(window_block "$1" "$main_re")"
  title="$(echo "$blk" | title_of)"
  read -r cx cy < <(echo "$blk" | sed -n 's/.*client=[0-9x]* at \([-0-9]*\),\([-0-9]*\).*/\1 \2/p')
}
wait_window() { # PID RE: until a visible window whose line matches RE shows; fails early when PID ends
  for _ in $(seq 60); do
    inspect wait.txt
    grep -q "visible=1 .*$2" "$work/wait.txt" && return 0
    kill -0 "$1" 2>/dev/null || return 1
    sleep 1
  done
  return 1
}
ended_within() { # PID SECONDS
  for _ in $(seq "$2"); do kill -0 "$1" 2>/dev/null || return 0; sleep 1; done
  return 1
}
start_app() { # DIR; sets app
  (cd "$1" && exec "$wine" "$1/lumoedit.exe" >>"$work/app.log" 2>&1) &
  app=$!
  pids+=("$app")
}
