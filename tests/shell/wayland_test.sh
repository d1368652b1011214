#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright 2026 The IRC Quillmere developers
# The real program in a Wayland session (weston, headless, with Xwayland): it
# runs on Xwayland where that answers; with Wayland alone it shows its shaped
# window there and registers its icon on the session bus; with no display at
# all it says so in one line and fails. Usage:
#   wayland_test.sh <irc-quillmere> <tray_host> <folder for the screenshot>
set -euo pipefail
source "$(dirname "$0")/own_network.sh"

program=$1
host=$2
out=${3:-$(mktemp -d)}
mkdir -p "$out"
work=$(mktemp -d /tmp/quill-wayland-XXXXXX)
source "$(dirname "$0")/desktop_lib.sh"
own_home
unset DISPLAY QT_QPA_PLATFORM

step "no display at all: one line on standard error, a failure"
status=0
env -u WAYLAND_DISPLAY "$program" >"$work/none.out" 2>"$work/none.err" || status=$?
[ "$status" -ne 0 ] || fail "the program succeeded without a display"
[ "$(wc -l <"$work/none.err")" -eq 1 ] || fail "not one line: $(cat "$work/none.err")"
grep -q '^irc-quillmere: .*X server.*Wayland' "$work/none.err" || fail "unclear: $(cat "$work/none.err")"
step "$(cat "$work/none.err")"

weston --backend=headless-backend.so --use-pixman --socket=quill-wayland --width=1024 --height=768 \
  --idle-time=0 --xwayland --debug >"$work/weston.log" 2>&1 &
pids+=($!)
wait_for 10 test -S "$XDG_RUNTIME_DIR/quill-wayland" || fail "weston did not start"
wait_for 10 grep -q 'xserver listening on display' "$work/weston.log" || fail "no Xwayland"
export WAYLAND_DISPLAY=quill-wayland
xwayland=$(sed -n 's/.*xserver listening on display \(:[0-9]*\).*/\1/p' "$work/weston.log" | head -n1)

start_bus

shot() {
  rm -f "$work"/wayland-screenshot-*.png
  (cd "$work" && timeout 10 weston-screenshooter) || fail "no screenshot"
  mv "$work"/wayland-screenshot-*.png "$1"
}

step "Wayland with Xwayland: the program runs on the X server"
DISPLAY=$xwayland "$program" >"$work/xwayland.log" 2>&1 &
program_pid=$!
pids+=($program_pid)
wait_for 15 bash -c "DISPLAY=$xwayland xdotool search --name '^(Form1|IRC Quillmere)$' >/dev/null 2>&1" ||
  fail "no X window of the program on Xwayland"
kill "$program_pid"
wait "$program_pid" 2>/dev/null || true
sleep 0.5

step "Wayland alone: the window shows shaped, without lime, and the icon registers on the bus"
start_host "$work/host.log"
"$program" >"$work/wayland.log" 2>&1 &
program_pid=$!
pids+=($program_pid)
wait_for 10 grep -q "^registered .* pid=$program_pid" "$work/host.log" || fail "the icon was not registered"
sleep 1
kill -0 "$program_pid" 2>/dev/null || fail "the program ended"
shot "$out/wayland.png"
lime=$(convert "$out/wayland.png" txt:- | grep -ci '#00FF00' || true)
[ "$lime" -eq 0 ] || fail "$lime lime pixels on the screen"
grep -v -i 'wrong permissions' "$work/wayland.log" | grep -q . && fail "the program complained: $(cat "$work/wayland.log")"
# The face covers the window's rectangle but for the rounded corners: what
# goes with the window when it ends.
kill "$program_pid"
wait "$program_pid" 2>/dev/null || true
sleep 0.5
shot "$work/after.png"
changed=$(compare -metric AE -fuzz 3% "$work/after.png" "$out/wayland.png" null: 2>&1 || true)
step "$changed pixels show the window"
[ "${changed%%.*}" -gt 180000 ] || fail "too little of the window shows: $changed pixels"
[ "${changed%%.*}" -lt $((600 * 354)) ] || fail "the margin shows: $changed pixels"

echo "wayland test passed"
