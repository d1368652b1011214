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
"$py" - "$work/qt-version.txt" >"$work/heard.txt" 2>"$work/heard.log" <<'PY' || true
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
        open(sys.argv[1], "w").write(app.toolkitVersion)
        walk(app)
PY
# AT-SPI 2.56 (Debian 13) calls a push button a "button": either name is heard.
for said in "|IRC Quillmere|" "button|Hide|" "button|Close|" "button|Open a proxy list|" \
            "button|Proxies|" "button|Set!|Makes the host" "text|Host|" "text|Port|" \
            "list|All proxies|" "list|Working proxies|" "list|Failed proxies|"; do
  grep -qF "$said" "$work/heard.txt" || fail "not heard: $said (heard: $(tr '\n' ';' <"$work/heard.txt"))"
done

step "an import announced once, the first Down heard as a focus on its row"
"$py" - >"$work/events.txt" 2>"$work/events.log" <<'PY' &
import pyatspi
from gi.repository import GLib
def heard(event):
    said = event.any_data if event.type.startswith("object:announcement") else ""
    print("%s|%d|%s|%s|%s" % (event.type, event.detail1, event.source.getRoleName(), event.source.name or "", said),
          flush=True)
pyatspi.Registry.registerEventListener(heard, "object:state-changed:focused", "object:state-changed:showing",
                                       "object:announcement")
GLib.timeout_add_seconds(30, pyatspi.Registry.stop)
print("listening", flush=True)
pyatspi.Registry.start()
PY
pids+=($!)
wait_for 10 grep -q listening "$work/events.txt" || fail "no AT-SPI listener"
printf '5.5.5.5:80\n1.1.1.1:1080\n3.3.3.3:3128\n' >"$work/list.txt"
read -r wx wy < <(window_place "$window")
xdotool mousemove $((wx + 89)) $((wy + 317)) click 1
wait_for 10 grep -q '^object:state-changed:focused|1|text|File name:' "$work/events.txt" || fail "no Open dialog"
xdotool type --delay 5 "$work/list.txt"
xdotool key Return
wait_for 10 bash -c "! xdotool search --name '^Open\$' >/dev/null" || fail "the Open dialog stayed"
# What a window manager does once the dialog is gone; the window gives the
# focus back to the list of all proxies, with no row chosen.
xdotool windowfocus --sync "$window"
wait_for 10 grep -q '^object:state-changed:focused|1|list|All proxies|' "$work/events.txt" ||
  fail "the focus did not come back to the list after the import: $(tr '\n' ';' <"$work/events.txt")"
sleep 0.5  # the caret's own event, for the row under it, comes with the focus: not the one wanted
before=$(wc -l <"$work/events.txt")
xdotool key Down
wait_for 5 bash -c "tail -n +$((before + 1)) '$work/events.txt' | grep -q '^object:state-changed:focused|1|list item|1.1.1.1:1080|'" ||
  fail "the first Down was not heard as its row: $(tail -n +$((before + 1)) "$work/events.txt" | tr '\n' ';')"
qt=$(tr -d '\r' <"$work/qt-version.txt")
# Qt 6.8 has an announcement event; before it, the news shows as a notification.
if [ "$(printf '%s\n' 6.8.0 "$qt" | sort -V | head -n1)" = 6.8.0 ]; then
  told='^object:announcement|'
else
  told='^object:state-changed:showing|1|notification|'
fi
wait_for 5 grep -q "$told.*|\?3 proxies imported\. Upstream now " "$work/events.txt" ||
  fail "the import was not announced (Qt $qt): $(tr '\n' ';' <"$work/events.txt")"
sleep 4  # past the time a second announcement of the same import would take
[ "$(grep -c "$told" "$work/events.txt")" -eq 1 ] ||
  fail "one import, several announcements: $(grep "$told" "$work/events.txt" | tr '\n' ';')"

step "Host and Port typed, Enter in Port"
"$py" -c '
import socket, sys
s = socket.socket(); s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(("127.0.0.1", 3129)); s.listen(4); s.settimeout(20)
c, _ = s.accept(); c.sendall(c.recv(64)); c.close()
' >"$work/echo.log" 2>&1 &
pids+=($!)
xdotool mousemove $((wx + 280)) $((wy + 327)) click 1
xdotool key ctrl+a  # the import put a proxy there
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
