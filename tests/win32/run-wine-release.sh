#!/usr/bin/env bash
# The release zip as a Windows user meets it: checks what the zip holds,
# unpacks it into a fresh Wine prefix on an X server of its own, starts
# lumoedit.exe from there, opens "CAD", closes and finds lumoedit.ini beside
# the exe; then the same from a folder that cannot be written, where the
# close tells which files were not saved and still ends.
#   run-wine-release.sh ZIP PROBE_EXE WORK_DIR
# Screenshots stay in WORK_DIR (release-start.png, release-cad-dialog.png,
# release-readonly-close.png). Exit 77 (skipped) only when Wine cannot start.
set -u
zip="$(realpath "$1")"
probe="$(realpath "$2")"
work="$3"
here="$(cd "$(dirname "$0")" && pwd)"

skip() { echo "SKIPPED: $1"; exit 77; }
find_tool() {
  for c in "$@"; do
    if [ -x "$c" ]; then echo "$c"; return 0; fi
    if command -v "$c" >/dev/null 2>&1; then command -v "$c"; return 0; fi
  done
  return 1
}
for f in "$zip" "$probe"; do
  [ -f "$f" ] || { echo "$f is missing: build the release_zip and windows-core targets"; echo "0 passed, 1 failed"; exit 1; }
done
passed=0 failed=0
pass() { passed=$((passed + 1)); echo "ok: $1"; }
fail() { failed=$((failed + 1)); echo "FAIL: $1"; }

# ---- what the zip holds, read as Windows' unzip reads it
if python3 "$here/check-release-zip.py" "$zip"; then pass "the zip holds one folder with the release files"
else fail "the zip's contents (above)"; fi

wine="$(find_tool /usr/lib/wine/wine64 wine64 wine)" || skip "Wine is not installed; scripts/install-deps installs it"
wineserver="$(find_tool /usr/lib/wine/wineserver64 wineserver)" || skip "wineserver not found"
for t in Xvfb xdotool import; do
  command -v "$t" >/dev/null 2>&1 || { echo "$t is missing: run scripts/install-deps"; echo "0 passed, 1 failed"; exit 1; }
done

rm -rf "$work"
mkdir -p "$work"
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
unset WAYLAND_DISPLAY
pids=()
xvfb=""
locked=""
cleanup() {
  for p in "${pids[@]}"; do kill -9 "$p" 2>/dev/null; done
  "$wineserver" -k >/dev/null 2>&1
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
  [ -n "$locked" ] && { chattr -i "$locked" 2>/dev/null; chmod -R u+w "$locked" 2>/dev/null; }
  wait 2>/dev/null
  rm -rf "$WINEPREFIX"
}
trap cleanup EXIT

exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
xvfb=$!
exec 3>&-
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { cat "$work/xvfb.log"; echo "Xvfb did not start"; echo "0 passed, 1 failed"; exit 1; }
export DISPLAY=":$(head -1 "$work/display")"

if ! timeout 180 "$wine" wineboot --init >"$work/wineboot.log" 2>&1; then
  tail -5 "$work/wineboot.log"
  skip "Wine cannot start (wineboot --init failed)"
fi
mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
cp /usr/share/wine/fonts/tahoma*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null
for f in "MS UI Gothic" "MS Gothic" "MS PGothic" "Yu Gothic UI" "Meiryo" "Meiryo UI"; do
  "$wine" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$f" /d IPAGothic /f >/dev/null 2>&1
done
"$wineserver" -w

winpath() { local p="$1"; echo "Z:${p//\//\\}"; }
inspect() {
  rm -f "$work/$1"
  "$wine" "$probe" inspect "$(winpath "$work/$1")" >/dev/null 2>&1
  sed -i 's/\r$//' "$work/$1" 2>/dev/null
}
window_block() { awk -v re="$2" '/^hwnd=/{show = ($0 ~ "visible=1" && $0 ~ re)} show' "$work/$1" | head -3; }
title_of() { sed -n 's/.*title="\(.*\)"$/\1/p' | head -1; }
main_re='title="LumoEdit \['
wait_window() { # PID RE: until a visible window whose line matches RE shows
  for _ in $(seq 60); do
    inspect wait.txt
    grep -q "visible=1 .*$2" "$work/wait.txt" && return 0
    kill -0 "$1" 2>/dev/null || return 1
    sleep 1
  done
  return 1
}
ended_within() {
  for _ in $(seq "$2"); do kill -0 "$1" 2>/dev/null || return 0; sleep 1; done
  return 1
}
start_app() {
  (cd "$1" && exec "$wine" "$1/lumoedit.exe" >>"$work/app.log" 2>&1) &
  app=$!
  pids+=("$app")
}
unpack() { # DIR: the zip's folder, unpacked under DIR
  mkdir -p "$1"
  python3 -m zipfile -e "$zip" "$1" && echo "$1/$(basename "$zip" .zip)"
}

# ---- from a folder the user can write to
A="$(unpack "$WINEPREFIX/drive_c/Users/Public/LumoEdit")"
cp "$A/LumoEditTagList.txt" "$work/taglist-shipped.txt"
start_app "$A"
if wait_window "$app" "$main_re"; then
  sleep 2
  inspect a.txt
  import -window root "$work/release-start.png" 2>/dev/null
  blk="$(window_block a.txt "$main_re")"
  title="$(echo "$blk" | title_of)"
  # The default target, BricscadApp.AcadApplication, named by the shipped list.
  [ "$title" = "LumoEdit [ BricsCAD ]" ] && pass "caption \"LumoEdit [ BricsCAD ]\" from the shipped CAD list" ||
    fail "caption is \"$title\""
  read -r cx cy < <(echo "$blk" | sed -n 's/.*client=[0-9x]* at \([-0-9]*\),\([-0-9]*\).*/\1 \2/p')
  xdotool mousemove $((cx + 146)) $((cy + 81)) click 1
  if wait_window "$app" 'title="ターゲット'; then
    sleep 2
    import -window root "$work/release-cad-dialog.png" 2>/dev/null
    pass "\"CAD\" opens the target CAD dialog (release-cad-dialog.png)"
    "$wine" "$probe" close "ターゲット" >/dev/null 2>&1
    sleep 1
  else fail "the \"CAD\" button opened no dialog"; fi
  "$wine" "$probe" close LumoEdit >/dev/null 2>&1
  ended_within "$app" 20 && pass "the close ends the program" || { fail "still running 20 s after the close"; kill -9 "$app"; }
  grep -q '^ProgID=BricscadApp.AcadApplication' "$A/lumoedit.ini" 2>/dev/null &&
    pass "lumoedit.ini is written beside the exe" || fail "no lumoedit.ini with [Target] ProgID beside the exe"
  cmp -s "$A/LumoEditTagList.txt" "$work/taglist-shipped.txt" &&
    pass "the shipped tag list is what the close writes" || fail "the close changed the shipped LumoEditTagList.txt"
else
  tail -20 "$work/app.log"
  fail "lumoedit.exe from the zip shows no main window within 60 s"
fi

# ---- from a folder that cannot be written (Program Files, a read-only share)
B="$(unpack "$WINEPREFIX/drive_c/ReadOnly")"
chmod -R a-w "$B"
locked="$B"
# root writes anywhere chmod allows nothing: an immutable folder stops it too.
if touch "$B/.probe" 2>/dev/null; then rm -f "$B/.probe"; chmod u+w "$B"; rm -f "$B/.probe"; chmod a-w "$B"; chattr +i "$B" 2>/dev/null; fi
if touch "$B/.probe" 2>/dev/null; then
  rm -f "$B/.probe"
  fail "cannot make a folder this user cannot write to (no chmod, no chattr +i)"
else
  start_app "$B"
  if wait_window "$app" "$main_re"; then
    sleep 2
    inspect b.txt
    main_hwnd="$(window_block b.txt "$main_re" | sed -n 's/^hwnd=\([^ ]*\).*/\1/p')"
    "$wine" "$probe" close LumoEdit >/dev/null 2>&1
    # The message box, titled "LumoEdit" alone, while the main window waits.
    if wait_window "$app" 'title="LumoEdit"$'; then
      sleep 1
      import -window root "$work/release-readonly-close.png" 2>/dev/null
      pass "closing from a read-only folder shows a message (release-readonly-close.png)"
      xdotool key Return
    else fail "no message at the close from a read-only folder"; fi
    ended_within "$app" 20 && pass "the close from a read-only folder still ends the program" ||
      { fail "still running 20 s after the close from a read-only folder"; kill -9 "$app"; }
    [ ! -e "$B/lumoedit.ini" ] && pass "nothing was written there" || fail "lumoedit.ini appeared in the read-only folder"
    [ -n "$main_hwnd" ] || fail "no main window handle seen"
  else fail "no main window from the read-only folder"; fi
fi

echo "screenshots: $work/release-start.png $work/release-cad-dialog.png $work/release-readonly-close.png"
echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
