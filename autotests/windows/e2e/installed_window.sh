#!/usr/bin/env bash
# The Windows window end to end, as a technician meets it: the installer installs silently into
# Program Files with its Start-menu entry; the installed window on the virtual bench runs
# "Функционирование", pressed with the mouse; the log and the verdict that the run leaves in the
# Windows history are those of the Linux window for the same press; the uninstaller leaves nothing
# behind. Screenshots of both windows go to SHOTS.
#
# Runs under Wine on an X display (the caller's DISPLAY, e.g. Xvfb), in the caller's WINEPREFIX.
# Usage: installed_window.sh INSTALLER LINUX_WINDOW LINUX_CLI SHOTS
set -euo pipefail
installer=$(realpath "$1")
linux_window=$(realpath "$2")
linux_cli=$(realpath "$3")
shots=$(realpath -m "$4")
mkdir -p "$shots"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

title="Программа диагностики УПО VR512B"
# "Функционирование" is the first button of the window's client area: 8 px in, 137 x 25, under the
# menu bar. The click lands in its middle for any menu bar from 16 to 30 px high.
click_x=76
click_y=40
passed=0

ok() {
  passed=$((passed + 1))
  echo "ok   $*"
}
fail() {
  echo "FAIL $*"
  exit 1
}

# Waits until COMMAND... prints something, at most SECONDS.
wait_for_output() {
  local seconds=$1 out
  shift
  for ((i = 0; i < seconds * 2; i++)); do
    out=$("$@" 2> /dev/null || true)
    if [ -n "$out" ]; then
      printf '%s\n' "$out"
      return 0
    fi
    sleep 0.5
  done
  return 1
}

# The list of runs once it has one (the header comes first, with or without runs).
runs_listed() {
  local out
  out=$("$@")
  [ "$(printf '%s\n' "$out" | wc -l)" -ge 2 ] && printf '%s\n' "$out"
}

# One window at a time runs here.
main_window() { xdotool search --onlyvisible --name "^$title\$" 2> /dev/null | head -n 1; }

# Presses "Функционирование" in the main window, waits for the run in the history that
# LIST_RUNS... lists, and takes a screenshot of the screen as NAME.png. A click that comes while
# the window is still being set up can be lost: pressed again when no run came in twice the time
# the test takes (about 16 s on the real clock), which a pressed button could not yet have given.
press_and_wait() {
  local name=$1 window attempt
  shift
  for attempt in 1 2 3; do
    window=$(wait_for_output 60 main_window) || fail "$name: the window did not appear"
    sleep 2
    # A run that ended just now needs no second press.
    if ! runs_listed "$@" > /dev/null 2>&1; then
      xdotool mousemove --window "$window" "$click_x" "$click_y" click 1 2> /dev/null || true
    fi
    if wait_for_output 40 runs_listed "$@" > "$work/$name.runs"; then
      # The test has ended; its verdict is drawn and the bench window refreshed.
      sleep 1
      import -window root "$shots/$name.png"
      return 0
    fi
  done
  import -window root "$shots/$name.png"
  fail "$name: no run was recorded after three presses"
}

# --- Install --------------------------------------------------------------------------------
wine "$installer" /S
program_dir=$(winepath -u 'C:\Program Files\Korvex VR512B Diag' 2> /dev/null)
for file in bin/vr512b-diag.exe bin/vr512b-diag-cli.exe bin/Qt6Widgets.dll bin/platforms/qwindows.dll \
  bin/libstdc++-6.dll Uninstall.exe; do
  [ -f "$program_dir/$file" ] || fail "installed: $file is missing from $program_dir"
done
ok "installed silently into Program Files"
start_menu=$(find "$WINEPREFIX/drive_c" -name 'Диагностика VR512B.lnk' | head -n 1)
[ -n "$start_menu" ] || fail "no Start-menu entry \"Диагностика VR512B\""
ok "Start-menu entry: ${start_menu#"$WINEPREFIX/"}"

# --- The same press in the Windows and the Linux window ----------------------------------
windows_history=$(winepath -w "$work/windows-history.sqlite")
windows_cli=("wine" "$program_dir/bin/vr512b-diag-cli.exe" --history "$windows_history")
wine "$program_dir/bin/vr512b-diag.exe" --simulate --history "$windows_history" \
  > "$work/windows.out" 2> "$work/windows.err" &
windows_pid=$!
press_and_wait windows-window "${windows_cli[@]}" --list-runs
# WM_CLOSE, as the title bar's close box sends it.
wine taskkill /im vr512b-diag.exe > /dev/null 2>&1
wait "$windows_pid" || fail "windows: the window ended with status $?"

linux_history="$work/linux-history.sqlite"
"$linux_window" --simulate --settings "$work/linux.reg" --history "$linux_history" \
  > "$work/linux.out" 2> "$work/linux.err" &
linux_pid=$!
press_and_wait linux-window "$linux_cli" --history "$linux_history" --list-runs
kill -TERM "$linux_pid"
wait "$linux_pid" || fail "linux: the window ended with status $?"

# One run on each side: the same test, the same verdict, the same log.
verdict() { awk -F, 'NR == 2 {print $7 "," $8}' "$1"; }
[ "$(wc -l < "$work/windows-window.runs")" = 2 ] || fail "windows: not one run in the history"
[ "$(verdict "$work/windows-window.runs")" = "$(verdict "$work/linux-window.runs")" ] ||
  fail "the verdicts differ: $(verdict "$work/windows-window.runs") on Windows," \
    "$(verdict "$work/linux-window.runs") on Linux"
ok "the status cell: $(verdict "$work/windows-window.runs")"
windows_run=$(awk -F, 'NR == 2 {print $1}' "$work/windows-window.runs")
linux_run=$(awk -F, 'NR == 2 {print $1}' "$work/linux-window.runs")
"${windows_cli[@]}" --show-run "$windows_run" > "$work/windows.log" 2> /dev/null
"$linux_cli" --history "$linux_history" --show-run "$linux_run" > "$work/linux.log"
if ! cmp -s "$work/windows.log" "$work/linux.log"; then
  diff "$work/linux.log" "$work/windows.log" | head -20
  fail "the logs differ"
fi
ok "the log: $(wc -l < "$work/windows.log") lines, byte for byte the Linux window's"

# --- Uninstall -------------------------------------------------------------------------------
# The uninstaller copies itself away and returns at once: wait for the folder to go.
wine "$program_dir/Uninstall.exe" /S
for ((i = 0; i < 120; i++)); do
  [ -e "$program_dir" ] || break
  sleep 0.5
done
[ ! -e "$program_dir" ] || fail "uninstalled: left behind: $(find "$program_dir" | head -5)"
[ -z "$(find "$WINEPREFIX/drive_c" -name 'Диагностика VR512B*')" ] ||
  fail "uninstalled: the Start-menu entry or its folder is left behind"
ok "uninstalled silently, nothing left behind"
echo "installed window: $passed passed, 0 failed"
