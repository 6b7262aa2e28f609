#!/usr/bin/env bash
# Runs the Windows lumoedit.exe under Wine, in a fresh prefix on an X server
# of its own, and checks its windows from outside with a Win32 probe:
#   run-wine-app.sh LUMOEDIT_EXE PROBE_EXE WORK_DIR
# Exit 77 (skipped) only when Wine itself cannot start. Screenshots stay in
# WORK_DIR (start.png, cad-dialog.png); the prefix is removed at the end.
set -u
here="$(cd "$(dirname "$0")" && pwd)"
. "$here/wine-desktop.sh"
desktop_args exe windows-app "$@"
trap desktop_cleanup EXIT
start_desktop

main_re='title="LumoEdit'
wait_main() { wait_window "$1" "$main_re"; } # PID
combo_crop() { # CLIENT_X CLIENT_Y OUT.png: the text of the TEXT tab's tag combo box
  import -window root -crop "150x16+$(($1 + 50))+$(($2 + 50))" +repage "$3" 2>/dev/null
}
close_app() { # PID
  "$wine" "$probe" close LumoEdit >/dev/null 2>&1
  ended_within "$1" 20 || kill -9 "$1" 2>/dev/null
}

# ---- the window at a first start, without settings or target list
A="$work/appA"
mkdir -p "$A"
cp "$exe" "$A/lumoedit.exe"
start_app "$A"
if ! wait_main "$app"; then
  tail -20 "$work/app.log"
  fail "lumoedit.exe shows no main window under Wine within 60 s"
  echo "$passed passed, $failed failed"
  exit 1
fi
sleep 2
main_window a.txt
import -window root "$work/start.png" 2>/dev/null
echo "$blk"
[ "$title" = "LumoEdit" ] && pass "caption \"LumoEdit\"" || fail "caption is \"$title\", not \"LumoEdit\""
main_hwnd="$(echo "$blk" | field hwnd)"
found="$(sed -n 's/^FindWindowW("TLumoMainForm", NULL) = //p' "$work/a.txt")"
[ "$(echo "$blk" | sed -n 's/.*class="\([^"]*\)".*/\1/p')" = TLumoMainForm ] && [ "${found,,}" = "${main_hwnd,,}" ] &&
  pass "the main window's class is TLumoMainForm" || fail "FindWindowW(\"TLumoMainForm\") gives $found, the main window is $main_hwnd: $(echo "$blk" | head -1)"
[ "$(echo "$blk" | field topmost)" = 1 ] && pass "always on top" || fail "the main window is not WS_EX_TOPMOST"
[ "$(echo "$blk" | field maximizebox)" = 0 ] && [ "$(echo "$blk" | field minimizebox)" = 1 ] &&
  pass "minimise box, no maximise box" || fail "window buttons: $(echo "$blk" | sed -n 3p)"
client="$(echo "$blk" | field client)"
[ "$client" = 328x320 ] && pass "client area 328x320" || fail "client area is $client, not 328x320"

# ---- a second start ends at once and leaves the first alone
first=$app
start_app "$A"
second=$app
t0=$(date +%s)
if ended_within "$second" 30; then
  wait "$second"
  rc=$?
  inspect b.txt
  # The window found by class is listed twice: count windows, not lines.
  n=$(grep "visible=1 .*$main_re" "$work/b.txt" | sed 's/ .*//' | sort -u | wc -l)
  if [ "$rc" = 0 ] && [ "$n" = 1 ] && kill -0 "$first" 2>/dev/null && grep -qi "hwnd=$main_hwnd" "$work/b.txt"; then
    pass "a second start ends at once ($(( $(date +%s) - t0 )) s), the first is untouched"
  else fail "second start: exit $rc, $n main windows afterwards"; fi
else
  fail "a second start still runs after 30 s"
fi
close_app "$first"
grep -q '^ProgID=BricscadApp.AcadApplication' "$A/lumoedit.ini" 2>/dev/null &&
  pass "closing writes lumoedit.ini beside the exe" || fail "no [Target] ProgID in lumoedit.ini after the close"

# ---- any window of the class counts as a running instance
"$wine" "$probe" holdclass 30 >"$work/hold.log" 2>&1 &
holder=$!
pids+=("$holder")
for _ in $(seq 30); do grep -q holding "$work/hold.log" && break; sleep 1; done
start_app "$A"
if ended_within "$app" 20; then
  inspect d.txt
  grep -q "visible=1 .*$main_re" "$work/d.txt" && fail "a main window appeared beside another window of class TLumoMainForm" ||
    pass "a window of class TLumoMainForm makes a start end at once"
else fail "with a window of class TLumoMainForm the start still runs after 20 s"; kill -9 "$app" 2>/dev/null; fi
kill -9 "$holder" 2>/dev/null

# ---- an instance that was killed never blocks the next start. A new Wine
# session numbers its processes from the start, so with the wine server
# restarted both starts get the same process id.
"$wineserver" -k; "$wineserver" -w 2>/dev/null
start_app "$A"
if wait_main "$app"; then
  kill -9 "$app"
  "$wineserver" -k; "$wineserver" -w 2>/dev/null
  start_app "$A"
  wait_main "$app" && pass "a start after a killed instance shows its window" ||
    fail "after an instance was killed the next start shows no window"
  close_app "$app"
else fail "no window for the killed-instance check"; fi

# ---- with a target list: caption, "TEXT" without the target, "CAD" dialog
B="$work/appB"
mkdir -p "$B"
cp "$exe" "$B/lumoedit.exe"
printf '[Target]\r\nProgID=LumoTest.AcadApplication\r\n' >"$B/lumoedit.ini"
printf 'LumoTest server\tLumoTest.AcadApplication\r\n' >"$B/TargetCAD_APIVersion.txt"
start_app "$B"
if wait_main "$app"; then
  sleep 2
  main_window f.txt
  [ "$title" = "LumoEdit [ LumoTest server ]" ] && pass "caption \"LumoEdit [ LumoTest server ]\"" ||
    fail "caption with the target list is \"$title\""
  combo_crop "$cx" "$cy" "$work/combo-builtin.png" # the built-in tag items, for the Shift_JIS check
  windows() { inspect "$1"; grep -c '^hwnd=.*visible=1' "$work/$1"; }
  before=$(windows f1.txt)
  # "TEXT" (first button of the first row) while LumoTest.AcadApplication is not running.
  xdotool mousemove $((cx + 24)) $((cy + 35)) click 1
  sleep 4
  after=$(windows f2.txt)
  [ "$after" = "$before" ] && pass "\"TEXT\" with the target not running reports nothing" ||
    fail "\"TEXT\" with the target not running opened: $(grep '^hwnd=.*visible=1' "$work/f2.txt" | grep -v "$main_re" | head -1)"
  # "CAD" (third row, right): the target CAD dialog, shown modally.
  xdotool mousemove $((cx + 146)) $((cy + 81)) click 1
  sleep 3
  inspect g.txt
  import -window root "$work/cad-dialog.png" 2>/dev/null
  dlg="$(window_block g.txt 'title="ターゲット')"
  dtitle="$(echo "$dlg" | title_of)"
  if [ -z "$dtitle" ]; then fail "the \"CAD\" button opened no dialog"
  else
    [ "$dtitle" = "ターゲット CAD" ] && pass "dialog caption \"ターゲット CAD\"" || fail "the dialog's caption is \"$dtitle\""
    mtop="$(window_block g.txt "$main_re" | field topmost)"
    [ "$(echo "$dlg" | field topmost)" = 1 ] && [ "$mtop" = 0 ] && pass "while the dialog is shown it is on top and the main window is not" ||
      fail "topmost while the dialog is shown: dialog $(echo "$dlg" | field topmost), main window $mtop"
    # Not judged: this Wine cannot make a window topmost again while it owns
    # a window that is not, which the dialog stays.
    "$wine" "$probe" close "ターゲット" >/dev/null 2>&1
    sleep 1
  fi
  close_app "$app"
else fail "no main window with the target list"; fi

# ---- a Shift_JIS tag list under a Japanese Windows (ANSI code page 932)
# shows the same items as the same list in UTF-8 with a byte-order mark:
# the tag combo box of the two starts is compared pixel for pixel.
combo_shot() { # DIR ENCODING OUT.png: start with the tag list in ENCODING, shoot the combo box
  mkdir -p "$1"
  cp "$exe" "$1/lumoedit.exe"
  python3 -c 'import sys; t="AA:日本語タグ\r\nSENBAN:線番\r\n"; sys.stdout.buffer.write(t.encode(sys.argv[1]))' "$2" \
    >"$1/LumoEditTagList.txt"
  (cd "$1" && exec env LC_ALL=ja_JP.UTF-8 "$wine" "$1/lumoedit.exe" >>"$work/app.log" 2>&1) &
  app=$!
  pids+=("$app")
  wait_main "$app" || return 1
  sleep 2
  local blk title cx cy
  main_window c.txt
  combo_crop "$cx" "$cy" "$3"
  close_app "$app"
}
if combo_shot "$work/appSjis" shift_jis "$work/combo-sjis.png" && combo_shot "$work/appUtf8" utf-8-sig "$work/combo-utf8.png"; then
  diff_px=$(compare -metric AE "$work/combo-sjis.png" "$work/combo-utf8.png" null: 2>&1)
  loaded=$(compare -metric AE "$work/combo-utf8.png" "$work/combo-builtin.png" null: 2>&1)
  if [ "$loaded" = 0 ]; then fail "the tag list beside the exe was not loaded: its combo box shows the built-in items"
  elif [ "$diff_px" = 0 ]; then pass "a Shift_JIS tag list shows its Japanese items (code page 932)"
  else fail "the Shift_JIS tag list's combo box differs from the UTF-8 one's in $diff_px pixels (combo-sjis.png, combo-utf8.png)"; fi
else fail "no main window for the Shift_JIS tag list check"; fi

echo "screenshots: $work/start.png $work/cad-dialog.png"
echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
