#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright 2026 The IRC Quillmere developers
# The real program on a virtual X display with a notification area: the tray
# icon, hiding and showing, the see-through margin, the end. Usage:
#   desktop_test.sh <irc-quillmere> <folder for the screenshot>
# Every process started here is ended on exit; every wait is bounded.
set -euo pipefail
source "$(dirname "$0")/own_network.sh"

program=$1
out=${2:-$(mktemp -d)}
mkdir -p "$out"
work=$(mktemp -d /tmp/quill-desktop-XXXXXX)
source "$(dirname "$0")/desktop_lib.sh"
own_home

# No session bus: the icon goes to the notification area on the X display.
# Always started in the background: the job's pid is then the program's own.
run_program() {
  exec env -u WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent QT_QPA_PLATFORM=xcb "$@" "$program"
}
listeners_on_7300() { ss -Hltn 'sport = :7300' | wc -l; }
has_icon() { [ -n "$(icon_line)" ]; }

start_xvfb 1024x768 xvfb
step "display $DISPLAY"

# A window under everything: it reports the clicks that go through the margin.
xev -geometry 1024x768+0+0 -event button >"$work/below.log" 2>&1 &
pids+=($!)
wait_for 10 bash -c 'xwininfo -root -tree | grep -q "Event Tester"' || fail "no window below"

start_trayer trayer
wait_for 10 bash -c 'xwininfo -root -tree | grep -q "\"panel\": (\"panel\" \"trayer\")"' || fail "no tray"

# Every window made, reparented and mapped on the display, in order.
xev -root -event substructure >"$work/root.log" 2>&1 &
pids+=($!)
sleep 0.3

run_program >"$work/program.log" 2>&1 &
program_pid=$!
pids+=($program_pid)

step "the icon is in the tray before the window shows"
wait_for 10 main_window_exists || fail "no window"
window=$(main_window)
wait_for 10 viewable "$window" || fail "the window never showed"
wait_for 5 bash -c "xwininfo -root -tree | grep -q '\"IRC Quillmere\": (\"irc-quillmere\"'" || fail "no tray icon"
icon_id=$(icon_line | awk '{print $1}')
window_id=$(printf '0x%x' "$window")
docked_at=$(grep -n "window $icon_id, parent" "$work/root.log" | head -n1 | cut -d: -f1)
shown_at=$(grep -n "window $window_id, override" "$work/root.log" | head -n1 | cut -d: -f1)
[ -n "$docked_at" ] || fail "the icon was never put into the tray"
[ -n "$shown_at" ] || fail "the window was never mapped"
[ "$docked_at" -lt "$shown_at" ] || fail "the window showed before the icon was in the tray"
read -r wx wy < <(window_place "$window")
step "window at $wx,$wy"
[ "$wx" -eq 212 ] && [ "$wy" -eq 207 ] || fail "the window is not centred: $wx,$wy"

read -r ix iy < <(icon_line | awk '{print $NF}' | tr '+' ' ')
icon_x=$((ix + 8))
icon_y=$((iy + 8))

step "the window asks to stay out of the taskbar"
xprop -id "$window" _NET_WM_STATE | grep -q _NET_WM_STATE_SKIP_TASKBAR || fail "no skip-taskbar state"

step "a click on a see-through corner reaches the window below"
xdotool mousemove $((wx + 1)) $((wy + 1)) click 1
wait_for 5 grep -q "root:($((wx + 1)),$((wy + 1)))" "$work/below.log" || fail "the corner click did not go through"
step "a click on the face does not"
xdotool mousemove $((wx + 300)) $((wy + 100)) click 1
sleep 0.5
! grep -q "root:($((wx + 300)),$((wy + 100)))" "$work/below.log" || fail "the face let a click through"

step "a screenshot shows no lime"
import -window root "$out/desktop.png"
lime=$(convert "$out/desktop.png" -crop "600x354+$wx+$wy" +repage txt:- | grep -ci '#00FF00' || true)
[ "$lime" -eq 0 ] || fail "$lime lime pixels on the screen"

step "the hide button hides the window, the icon stays"
xdotool mousemove $((wx + 530)) $((wy + 18)) click 1
wait_for 5 bash -c "! xwininfo -id $window | grep -q IsViewable" || fail "the window did not hide"
[ -n "$(icon_line)" ] || fail "the icon went with the window"

step "a second start shows the hidden window where it was and ends; one window, one icon, one listener"
run_program >"$work/second.log" 2>&1 &
second_pid=$!
pids+=($second_pid)
wait_for 10 bash -c "! kill -0 $second_pid 2>/dev/null" || fail "the second start did not end"
status=0
wait "$second_pid" || status=$?
[ "$status" -eq 0 ] || fail "the second start ended with status $status"
wait_for 5 viewable "$window" || fail "the second start did not show the window"
read -r wx2 wy2 < <(window_place "$window")
[ "$wx2" -eq "$wx" ] && [ "$wy2" -eq "$wy" ] || fail "the window came back elsewhere: $wx2,$wy2"
[ "$(main_windows | wc -l)" -eq 1 ] || fail "$(main_windows | wc -l) main windows"
[ "$(icon_line | wc -l)" -eq 1 ] || fail "$(icon_line | wc -l) icons in the tray"
[ "$(listeners_on_7300)" -eq 1 ] || fail "$(listeners_on_7300) listeners on 7300"
xdotool mousemove $((wx + 530)) $((wy + 18)) click 1
wait_for 5 hidden "$window" || fail "the window did not hide again"

step "a right click on the icon opens nothing"
top_before=$(xwininfo -root -children | grep -c '^     0x' || true)
# The pointer leaves at once: a tip shown after a rest on the icon is no menu.
xdotool mousemove $icon_x $icon_y click 3 mousemove 400 700
sleep 0.7
top_after=$(xwininfo -root -children | grep -c '^     0x' || true)
viewable "$window" && fail "a right click showed the window"
[ "$top_after" -eq "$top_before" ] || fail "a right click made a new window (a menu?)"

step "a left press on the icon shows the window where it was"
xdotool mousemove $icon_x $icon_y mousedown 1
wait_for 5 viewable "$window" || fail "the press did not show the window"
xdotool mouseup 1
read -r wx2 wy2 < <(window_place "$window")
[ "$wx2" -eq "$wx" ] && [ "$wy2" -eq "$wy" ] || fail "the window came back elsewhere: $wx2,$wy2"
xprop -id "$window" _NET_WM_STATE | grep -q _NET_WM_STATE_SKIP_TASKBAR || fail "a taskbar entry after showing again"

step "the window is named Form1 alone"
name=$(xprop -id "$window" _NET_WM_NAME | sed 's/^[^=]*= //')
[ "$name" = '"Form1"' ] || fail "the window is named $name"

step "the tray restarts while the window is hidden: the icon goes into the new one and shows the window"
xdotool mousemove $((wx + 530)) $((wy + 18)) click 1
wait_for 5 hidden "$window" || fail "the window did not hide"
kill "$trayer_pid"
wait "$trayer_pid" 2>/dev/null || true
start_trayer trayer2
sleep 0.5
wait_for 10 docked || fail "the icon did not go into the new tray"
viewable "$window" && fail "the window showed by itself"
read -r ix iy < <(icon_line | awk '{print $NF}' | tr '+' ' ')
xdotool mousemove $((ix + 8)) $((iy + 8)) mousedown 1
wait_for 5 viewable "$window" || fail "the new icon did not show the window"
xdotool mouseup 1
read -r wx2 wy2 < <(window_place "$window")
[ "$wx2" -eq "$wx" ] && [ "$wy2" -eq "$wy" ] || fail "the window came back elsewhere: $wx2,$wy2"

step "a connection is relayed through 7300 to an echo on loopback"
  socat -d -d TCP-LISTEN:0,bind=127.0.0.1 SYSTEM:cat 2>"$work/upstream.log" &
  pids+=($!)
  wait_for 5 grep -q 'listening on' "$work/upstream.log" || fail "no upstream"
  upstream_port=$(sed -n 's/.*listening on AF=2 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/upstream.log" | head -n1)
  xdotool mousemove $((wx + 280)) $((wy + 327)) click 1 type --delay 10 "127.0.0.1"
  xdotool mousemove $((wx + 470)) $((wy + 327)) click 1 type --delay 10 "$upstream_port"
  xdotool mousemove $((wx + 536)) $((wy + 327)) click 1
  sleep 0.3
  # The client's input stays open as long as this script holds the pipe.
  mkfifo "$work/client.in"
  socat - TCP:127.0.0.1:7300 <"$work/client.in" >"$work/client.out" 2>/dev/null &
  pids+=($!)
  exec 4>"$work/client.in"
  echo through-the-relay >&4
wait_for 5 grep -q through-the-relay "$work/client.out" || fail "nothing came back through the relay"

step "the close button ends the program at once with exit code 0 and takes the icon along"
xdotool mousemove $((wx + 554)) $((wy + 18)) click 1
ended=no
for ((i = 0; i < 60; i++)); do
  if ! kill -0 "$program_pid" 2>/dev/null; then ended=yes; break; fi
  sleep 0.05
done
[ "$ended" = yes ] || fail "the program did not end"
status=0
wait "$program_pid" || status=$?
[ "$status" -eq 0 ] || fail "exit code $status"
[ -z "$(icon_line)" ] || fail "the icon stayed in the tray"

step "SIGTERM while a stream is relayed: status 0, the icon gone, and the client reads a reset, not an end"
run_program >"$work/term.log" 2>&1 &
program_pid=$!
pids+=($program_pid)
wait_for 10 main_window_exists || fail "no window after the restart"
window=$(main_window)
wait_for 10 viewable "$window" || fail "the window never showed after the restart"
wait_for 5 has_icon || fail "no tray icon after the restart"
socat -d -d TCP-LISTEN:0,bind=127.0.0.1 SYSTEM:'yes streaming' 2>"$work/stream.log" &
pids+=($!)
wait_for 5 grep -q 'listening on' "$work/stream.log" || fail "no streaming upstream"
stream_port=$(sed -n 's/.*listening on AF=2 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/stream.log" | head -n1)
read -r wx wy < <(window_place "$window")
xdotool mousemove $((wx + 280)) $((wy + 327)) click 1 type --delay 10 "127.0.0.1"
xdotool mousemove $((wx + 470)) $((wy + 327)) click 1 type --delay 10 "$stream_port"
xdotool mousemove $((wx + 536)) $((wy + 327)) click 1
sleep 0.3
python3 - "$work/stream-client.txt" <<'PY' &
import socket, sys
out = open(sys.argv[1], "w")
client = socket.create_connection(("127.0.0.1", 7300))
got = 0
try:
    while True:
        data = client.recv(65536)
        if not data:
            out.write("end\n")
            break
        got += len(data)
        if got >= 100000 and got - len(data) < 100000:
            out.write("streaming\n")
            out.flush()
except ConnectionResetError:
    out.write("reset\n")
out.close()
PY
pids+=($!)
wait_for 5 grep -q streaming "$work/stream-client.txt" || fail "nothing streamed through the relay"
kill -TERM "$program_pid"
wait_for 5 bash -c "! kill -0 $program_pid 2>/dev/null" || fail "SIGTERM did not end the program"
status=0
wait "$program_pid" || status=$?
[ "$status" -eq 0 ] || fail "exit status $status after SIGTERM"
wait_for 5 eval '! has_icon' || fail "the icon stayed in the tray after SIGTERM"
wait_for 5 grep -qE 'reset|end' "$work/stream-client.txt" || fail "the client never heard the end"
grep -q reset "$work/stream-client.txt" || fail "the cut reached the client as an orderly end"

step "port 7300 held by another program: the error box says so, and OK ends the program with status 1"
socat TCP-LISTEN:7300,reuseaddr,fork SYSTEM:cat 2>"$work/holder.log" &
holder_pid=$!
pids+=($holder_pid)
wait_for 5 bash -c '[ "$(ss -Hltn "sport = :7300" | wc -l)" -eq 1 ]' || fail "the stand-in did not listen"
run_program >"$work/taken.log" 2>&1 &
program_pid=$!
pids+=($program_pid)
error_box() { xdotool search --onlyvisible --name '^IRC Quillmere$' 2>/dev/null | head -n1 || true; }
wait_for 10 bash -c '[ -n "$(xdotool search --onlyvisible --name "^IRC Quillmere\$" 2>/dev/null)" ]' || fail "no error box"
grep -q "Unable to listen on port 7300: another program is using it\.$" "$work/taken.log" || fail "the message is not said"
taken_window=$(main_window)
[ -z "$taken_window" ] || hidden "$taken_window" || fail "the main window showed anyway"
icon_id=$(icon_line | awk '{print $1}')
[ -z "$icon_id" ] || ! docked || fail "an icon was left in the tray"
box=$(error_box)
import -window root "$out/port-taken.png"
# OK, as a user presses it: no window manager here to give the box the focus.
read -r bx by < <(window_place "$box")
read -r bw bh < <(xwininfo -id "$box" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w, h}')
xdotool mousemove $((bx + bw - 51)) $((by + bh - 24)) click 1
wait_for 5 bash -c "! kill -0 $program_pid 2>/dev/null" || fail "OK did not end the program"
status=0
wait "$program_pid" || status=$?
[ "$status" -eq 1 ] || fail "exit status $status after the error box"
kill "$holder_pid"

step "at scale 2 the window is twice as large, shaped to its own finer edge"
start_xvfb 1600x1000 xvfb2
xev -geometry 1600x1000+0+0 -event button >"$work/below2.log" 2>&1 &
pids+=($!)
wait_for 10 bash -c 'xwininfo -root -tree | grep -q "Event Tester"' || fail "no window below at scale 2"
run_program QT_SCALE_FACTOR=2 >"$work/program2.log" 2>&1 &
program_pid=$!
pids+=($program_pid)
wait_for 10 main_window_exists || fail "no window at scale 2"
window=$(main_window)
wait_for 10 viewable "$window" || fail "the window never showed at scale 2"
size=$(xwininfo -id "$window" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w "x" h}')
[ "$size" = 1200x708 ] || fail "the window is $size device pixels at scale 2"
read -r wx wy < <(window_place "$window")
[ "$wx" -eq 200 ] && [ "$wy" -eq 146 ] || fail "the window is not centred at scale 2: $wx,$wy"
xdotool mousemove $((wx + 2)) $((wy + 2)) click 1
wait_for 5 grep -q "root:($((wx + 2)),$((wy + 2)))" "$work/below2.log" || fail "the corner click did not go through at scale 2"
xdotool mousemove 5 990
sleep 0.3
import -window root "$out/desktop-2x.png"
lime=$(convert "$out/desktop-2x.png" -crop "1200x708+$wx+$wy" +repage txt:- | grep -ci '#00FF00' || true)
[ "$lime" -eq 0 ] || fail "$lime lime pixels on the screen at scale 2"
kill "$program_pid"

echo "desktop test passed"
