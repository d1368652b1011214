#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright 2026 The IRC Quillmere developers
# The one-copy guard against what other users and stopped copies leave in its
# way: with no runtime folder, the fallback place in the temporary folder is
# taken by another user's listening socket, by a plain file, by a folder open
# to others; each time the program starts, shows its window and listens, and
# the other user's socket hears nothing. A first copy that is stopped makes a
# second start show its error box and end with status 1. Usage:
#   guard_test.sh <irc-quillmere>
set -euo pipefail
source "$(dirname "$0")/own_network.sh"

program=$1
work=$(mktemp -d /tmp/quill-guard-XXXXXX)
chmod 755 "$work"
source "$(dirname "$0")/desktop_lib.sh"
own_home
unset XDG_RUNTIME_DIR
export TMPDIR="$work/tmp"
mkdir -p "$TMPDIR"
chmod 1777 "$TMPDIR"
place="$TMPDIR/irc-quillmere-$(id -u)"
other=65534
[ "$(id -u)" -eq 0 ] || { echo "SKIP: another user's files can be made only as root"; exit 77; }

run_program() {
  exec env -u WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent QT_QPA_PLATFORM=xcb "$program"
}
listening() { ss -Hltn 'sport = :7300' | grep -q .; }
start_xvfb 1024x768 xvfb

# Starts a copy; it must show its window and listen, then it is ended.
starts_unhindered() {
  run_program >"$work/program.log" 2>&1 &
  local pid=$!
  pids+=($pid)
  wait_for 10 main_window_exists || fail "$1: no window"
  wait_for 10 listening || fail "$1: not listening on 7300"
  grep -q "without the one-copy guard" "$work/program.log" || fail "$1: nothing said on stderr"
  kill "$pid"
  wait "$pid" 2>/dev/null || true
  wait_for 10 bash -c '! ss -Hltn "sport = :7300" | grep -q .' || fail "$1: the port stayed taken"
}

step "another user's folder with a listening socket in it"
mkdir -m 700 "$place"
chown "$other" "$place"
setpriv --reuid="$other" --regid="$other" --clear-groups /usr/bin/python3 -c '
import socket, sys
s = socket.socket(socket.AF_UNIX); s.bind(sys.argv[1]); s.listen(4); s.settimeout(12)
try:
    c, _ = s.accept(); c.settimeout(2); print("heard:", c.recv(64))
except socket.timeout:
    print("heard nothing")
' "$place/irc-quillmere" >"$work/squatter.log" 2>&1 &
squatter=$!
pids+=($squatter)
wait_for 5 test -S "$place/irc-quillmere" || fail "the other user's socket did not come up"
starts_unhindered "another user's socket"
kill "$squatter" 2>/dev/null || true
wait "$squatter" 2>/dev/null || true
grep -q "heard:" "$work/squatter.log" && fail "the other user's socket was spoken to: $(cat "$work/squatter.log")"
rm -rf "$place"

step "a plain file"
echo squat >"$place"
starts_unhindered "a plain file"
rm -f "$place"

step "a folder open to others"
mkdir -m 777 "$place"
starts_unhindered "a folder open to others"
rm -rf "$place"

step "a stopped first copy"
run_program >"$work/first.log" 2>&1 &
first=$!
pids+=($first)
wait_for 10 main_window_exists || fail "the first copy showed no window"
wait_for 10 test -S "$place/irc-quillmere" || fail "the first copy made no socket"
kill -STOP "$first"
# A stopped process hears no TERM: it goes on again before the cleanup.
trap 'kill -CONT "$first" 2>/dev/null; cleanup' EXIT
run_program >"$work/second.log" 2>&1 &
second=$!
pids+=($second)
box_of_second() { xdotool search --all --onlyvisible --pid "$second" --name '^IRC Quillmere$' 2>/dev/null | head -n1 || true; }
box_shown() { [ -n "$(box_of_second)" ] && grep -q "does not answer" "$work/second.log"; }
wait_for 15 box_shown || fail "no error box from the second start"
grep -q "already running (process $first) but does not answer" "$work/second.log" || fail "the box names another process: $(cat "$work/second.log")"
# OK, as a user presses it: no window manager here to give the box the focus.
box=$(box_of_second)
read -r bx by < <(window_place "$box")
read -r bw bh < <(xwininfo -id "$box" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w, h}')
xdotool mousemove $((bx + bw - 51)) $((by + bh - 24)) click 1
status=0
wait_for 10 bash -c "! kill -0 $second 2>/dev/null" || fail "OK did not end the second start"
wait "$second" || status=$?
[ "$status" -eq 1 ] || fail "the second start ended with status $status"
kill -CONT "$first"
echo "PASS: guard_test"
