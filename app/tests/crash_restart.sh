#!/usr/bin/env bash
# The window program killed with SIGKILL after a flow was typed, then started
# again: it offers the unsaved data, and "Да" brings the typed text back as an
# unsaved change, which the program keeps in a recovery file of its own. Runs
# the program under a virtual display and in a home of its own, and drives it
# as a planner would. Usage: crash_restart.sh ZELTRAC
set -euo pipefail
program=$1
work=$(mktemp -d)
pids=()
trap 'kill -KILL "${pids[@]}" 2>/dev/null; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; cat "$work/log" >&2; exit 1; }
# Waits up to a minute for the command to succeed.
waitFor() {
    local what=$1 i; shift
    for i in $(seq 600); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
    fail "no $what"
}

mkdir -m 700 "$work/home" "$work/run"
# No reset when the last program goes: the next one could not connect meanwhile.
Xvfb -displayfd 3 -nolisten tcp -noreset -screen 0 1024x768x24 3>"$work/display" 2>"$work/log" &
pids+=($!)
waitFor "display" test -s "$work/display"
export DISPLAY=:$(cat "$work/display") HOME=$work/home XDG_RUNTIME_DIR=$work/run LANG=C.UTF-8 \
    XDG_DATA_HOME=$work/home/data XDG_CONFIG_HOME=$work/home/config XDG_CACHE_HOME=$work/home/cache \
    QT_QPA_PLATFORM=xcb
unset LC_ALL
folder=$XDG_DATA_HOME/zeltrac/recovery

start() {
    "$program" >>"$work/log" 2>&1 &
    pid=$!
    pids+=($pid)
}
# The program's visible window whose title matches.
window() { xdotool search --all --onlyvisible --pid "$pid" --name "$1"; }
unsaved() { [[ $(xdotool getwindowname "$main") == *'*' ]]; }
keeps987() { grep -qs '"987"' "$folder"/recovery-"$pid"-*.json; }

start
waitFor "main window" window '^План формирования'
main=$(window '^План формирования')
# The second cell of the flow table's first row, at its place in the 751x597 window.
xdotool mousemove --window "$main" 103 194 click 1 type 987
xdotool key Return
waitFor "unsaved mark in the title" unsaved
waitFor "recovery file with the typed flow" keeps987
first=$pid
kill -KILL "$pid"
wait "$pid" || true

start
waitFor "restore question" window '^zeltrac$'
waitFor "main window" window '^План формирования'
main=$(window '^План формирования')
! unsaved || fail "unsaved before restoring"
# Return presses the question's default button, "Да".
xdotool windowfocus --sync "$(window '^zeltrac$')" key Return
waitFor "unsaved mark after restoring" unsaved
waitFor "recovery file of the restarted program with the typed flow" keeps987
! compgen -G "$folder/recovery-$first-*" >/dev/null || fail "the restored file stays"
kill -TERM "$pid"
wait "$pid" || true
echo "restored after SIGKILL"
