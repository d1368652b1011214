#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright 2026 The IRC Quillmere developers
# What a screen reader hears of the real program, over a session bus and an
# accessibility bus of the test's own, and the keyboard's way to a relay:
# Host and Port typed, Enter in Port, and a loopback echo server answers
# through the relay. Usage:
#   a11y_test.sh <irc-quillmere>
set -euo pipefail
source "$(dirname "$0")/own_network.sh"

program=$1
work=$(mktemp -d /tmp/quill-a11y-XXXXXX)
source "$(dirname "$0")/desktop_lib.sh"
own_home
py=/usr/bin/python3
"$py" -c 'import pyatspi' 2>/dev/null || { echo "FAIL: install the package python3-pyatspi (scripts/install-deps test)" >&2; exit 1; }
launcher=/usr/libexec/at-spi-bus-launcher
[ -x "$launcher" ] || { echo "FAIL: install the package at-spi2-core (scripts/install-deps test)" >&2; exit 1; }

start_xvfb 1024x768 xvfb
start_bus
"$launcher" --launch-immediately >"$work/a11y-bus.log" 2>&1 &
pids+=($!)
wait_for 10 bash -c 'dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress >/dev/null 2>&1' ||
  fail "no accessibility bus"

env -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$program" >"$work/program.log" 2>&1 &
pids+=($!)
wait_for 10 main_window_exists || fail "no window"
window=$(main_window)
wait_for 10 viewable "$window" || fail "the window never showed"

step "names over AT-SPI"
"$py" - >"$work/heard.txt" 2>"$work/heard.log" <<'PY' || true
import pyatspi, sys
def walk(node, depth=0):
    if node is None or depth > 12:
        return
    name = node.name or ""
    print("%s|%s|%s" % (node.getRoleName(), name, node.description or ""))
    for i in range(node.childCount):
        walk(node.getChildAtIndex(i), depth + 1)
desktop = pyatspi.Registry.getDesktop(0)
for app in desktop:
    if app is not None and app.name == "irc-quillmere":
        walk(app)
PY
# AT-SPI 2.56 (Debian 13) calls a push button a "button": either name is heard.
for said in "|IRC Quillmere|" "button|Hide|" "button|Close|" "button|Open a proxy list|" \
            "button|Proxies|" "button|Set!|Makes the host" "text|Host|" "text|Port|" \
            "list|All proxies|" "list|Working proxies|" "list|Failed proxies|"; do
  grep -qF "$said" "$work/heard.txt" || fail "not heard: $said (heard: $(tr '\n' ';' <"$work/heard.txt"))"
done

step "Host and Port typed, Enter in Port"
"$py" -c '
import socket, sys
s = socket.socket(); s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(("127.0.0.1", 3129)); s.listen(4); s.settimeout(20)
c, _ = s.accept(); c.sendall(c.recv(64)); c.close()
' >"$work/echo.log" 2>&1 &
pids+=($!)
read -r wx wy < <(window_place "$window")
xdotool mousemove $((wx + 280)) $((wy + 327)) click 1
xdotool type --delay 20 "127.0.0.1"
xdotool key Tab
xdotool type --delay 20 "3129"
xdotool key Return
sleep 0.3
answer=$("$py" -c '
import socket
c = socket.create_connection(("127.0.0.1", 7300), timeout=5)
c.sendall(b"ping"); print(c.recv(64).decode())
' 2>&1) || true
[ "$answer" = "ping" ] || fail "no echo through the relay after Enter in Port: $answer"
echo "PASS: a11y_test"
