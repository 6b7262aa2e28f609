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
here="$(cd "$(dirname "$0")" && pwd)"
. "$here/wine-desktop.sh"
desktop_args zip release_zip "$@"

# ---- what the zip holds, read as Windows' unzip reads it
if python3 "$here/check-release-zip.py" "$zip"; then pass "the zip holds one folder with the release files"
else fail "the zip's contents (above)"; fi

locked=""
cleanup() {
  [ -n "$locked" ] && { chattr -i "$locked" 2>/dev/null; chmod -R u+w "$locked" 2>/dev/null; }
  desktop_cleanup
}
trap cleanup EXIT
start_desktop

main_re='title="LumoEdit \['
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
  main_window a.txt
  import -window root "$work/release-start.png" 2>/dev/null
  # The default target, BricscadApp.AcadApplication, named by the shipped list.
  [ "$title" = "LumoEdit [ BricsCAD ]" ] && pass "caption \"LumoEdit [ BricsCAD ]\" from the shipped CAD list" ||
    fail "caption is \"$title\""
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
