#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright 2026 The IRC Quillmere developers
# The real program on desktops other than an XEmbed tray's: none at all, then a
# tray that comes later; a StatusNotifierItem host on a session bus of the
# test's own, which restarts and then goes for good. A window manager runs
# throughout, so that minimised and hidden can be told apart. Usage:
#   tray_test.sh <irc-quillmere> <tray_host>
set -euo pipefail
source "$(dirname "$0")/own_network.sh"

program=$1
host=$2
work=$(mktemp -d /tmp/quill-tray-XXXXXX)
source "$(dirname "$0")/desktop_lib.sh"
own_home

start_xvfb 1024x768 xvfb
step "display $DISPLAY"
openbox --sm-disable >"$work/openbox.log" 2>&1 &
pids+=($!)
wait_for 10 bash -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"' || fail "no window manager"

start_bus

skips_taskbar() { xprop -id "$1" _NET_WM_STATE | grep -q _NET_WM_STATE_SKIP_TASKBAR; }
# The window's ancestor just below the root: its frame, under a window manager.
top_level() {
  local id=$1 parent
  while parent=$(xwininfo -id "$id" -tree | sed -n 's/.*Parent window id: \(0x[0-9a-f]*\) .*/\1/p') &&
    ! xwininfo -id "$parent" | grep -q '(the root window)'; do
    id=$parent
  done
  printf '0x%x' "$id"
}
top_windows() { xwininfo -root -children | grep -c '^     0x' || true; }

start_program() {
  # WAYLAND_DISPLAY names no compositor: the program must pick the X server itself.
  WAYLAND_DISPLAY=wayland-none "$program" >"$work/program.log" 2>&1 &
  program_pid=$!
  pids+=($program_pid)
  wait_for 10 main_window_exists || fail "no window"
  window=$(main_window)
  wait_for 10 viewable "$window" || fail "the window never showed"
  read -r wx wy < <(window_place "$window")
}
hide_button() { xdotool mousemove $((wx + 530)) $((wy + 18)) click 1; }
hide_window() {
  hide_button
  wait_for 5 hidden "$window" || fail "the window did not hide"
}
# Shown again, where it was.
shown_in_place() {
  wait_for 5 viewable "$window" || fail "$1"
  read -r x y < <(window_place "$window")
  [ "$x" -eq "$wx" ] && [ "$y" -eq "$wy" ] || fail "the window came back elsewhere: $x,$y"
}
close_program() {
  xdotool mousemove $((wx + 554)) $((wy + 18)) click 1
  wait_for 5 bash -c "! kill -0 $program_pid 2>/dev/null" || fail "the program did not end"
}
registrations() { grep -c "^registered .* pid=$program_pid" "$work/events.log" || true; }
registered_anew() { [ "$(registrations)" -gt "$1" ]
}

step "no tray anywhere: the window has a taskbar entry and the hide button minimises it"
start_program
skips_taskbar "$window" && fail "no tray, yet the window asks to stay out of the taskbar"
[ "$(window_name "$window")" = '"IRC Quillmere"' ] || fail "the taskbar entry reads $(window_name "$window")"
hide_button
wait_for 5 iconic "$window" || fail "the hide button did not minimise the window (WM_STATE $(wm_state "$window"))"

step "a tray comes: the icon goes in, the minimised window becomes the tray's hidden one"
start_trayer trayer
wait_for 10 docked || fail "the icon never went into the tray"
wait_for 5 not_iconic "$window" || fail "the window stayed minimised"
viewable "$window" && fail "the window shows"
read -r ix iy < <(icon_line | awk '{print $NF}' | tr '+' ' ')
xdotool mousemove $((ix + 8)) $((iy + 8)) click 1
shown_in_place "the icon did not show the window"
skips_taskbar "$window" || fail "with a tray, the window keeps a taskbar entry"
[ "$(window_name "$window")" = '"Form1"' ] || fail "with no taskbar entry, the window is named $(window_name "$window")"
close_program
kill "$trayer_pid"

step "a StatusNotifierItem host: the icon is registered before the window shows"
# The host takes 300 ms to register an item: a window that does not wait for it shows first.
start_host "$work/events.log" 300
xev -root -event substructure >>"$work/events.log" 2>&1 &
pids+=($!)
sleep 0.3
start_program
wait_for 5 registered_anew 0 || fail "no item of the program was registered"
registered_at=$(grep -n "^registered .* pid=$program_pid" "$work/events.log" | head -n1 | cut -d: -f1 || true)
# The window manager maps the frame it put the window in once the window asked to be.
frame=$(top_level "$window")
mapped_at=$(grep -n "window $frame, override" "$work/events.log" | head -n1 | cut -d: -f1 || true)
[ -n "$mapped_at" ] || fail "the window was never mapped"
[ "$registered_at" -lt "$mapped_at" ] || fail "the window showed before the icon was registered"
wait_for 5 grep -q "^item " "$work/events.log" || fail "the item's properties were not read"
item=$(grep "^item " "$work/events.log" | tail -n1)
step "$item"
[[ $item == *"tip=IRC Quillmere "* ]] || fail "the tip is not IRC Quillmere"
[[ $item =~ icon=[0-9]+x[0-9]+ ]] || fail "the item has no picture"
[[ $item == *invalid* ]] && fail "a picture of the item is malformed"
[[ $item == *"itemismenu=false"* ]] || fail "the item asks to be a menu"
no_menu='menu=(/NO_DBUSMENU)? '
[[ $item =~ $no_menu ]] || fail "the item offers a menu"
skips_taskbar "$window" || fail "with a tray, the window keeps a taskbar entry"

step "secondary activation, scroll and the menu request do nothing"
hide_window
before=$(top_windows)
for command in context secondary scroll; do
  echo "$command" >"$work/host.in"
  wait_for 5 grep -q "^called $command" "$work/events.log" || fail "the item did not answer $command"
done
sleep 0.5
viewable "$window" && fail "the window showed without an activation"
[ "$(top_windows)" -eq "$before" ] || fail "a new window (a menu?) opened"

step "the host's activation shows the window where it was"
echo activate >"$work/host.in"
shown_in_place "the activation did not show the window"

step "the host restarts while the window is hidden: the new one shows it"
hide_window
kill "$host_pid"
wait "$host_pid" 2>/dev/null || true
sleep 1
before=$(registrations)
start_host "$work/events.log" 300
wait_for 10 registered_anew "$before" || fail "the icon was not registered with the new host"
viewable "$window" && fail "the window showed by itself"
echo activate >"$work/host.in"
shown_in_place "the new host's activation did not show the window"

step "the host goes for good: the hidden window comes back, minimised to a taskbar entry"
hide_window
kill "$host_pid"
wait_for 10 iconic "$window" || fail "the window was left hidden with no tray (WM_STATE $(wm_state "$window"))"
skips_taskbar "$window" && fail "no tray, yet the window stays out of the taskbar"
xdotool windowactivate "$window" 2>/dev/null || true
wait_for 5 viewable "$window" || fail "the minimised window could not be restored"
close_program

step "a panel busy at login answers after 2 s: the icon comes within a second of its answer"
kill "$host_pid" 2>/dev/null || true
wait "$host_pid" 2>/dev/null || true
: >"$work/late.log"
start_host "$work/late.log" 0 late
start_program
wait_for 5 grep -q "^answering" "$work/late.log" || fail "the late host never answered"
wait_for 2 grep -q "^registered .* pid=$program_pid" "$work/late.log" || fail "no icon after the host answered"
wait_for 5 skips_taskbar "$window" || fail "the window kept its taskbar entry once the icon was there"
close_program

echo "tray test passed"
