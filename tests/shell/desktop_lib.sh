# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright 2026 The IRC Quillmere developers
# What the desktop tests share: every process they start is ended on exit, every
# wait is bounded, and a failure prints the tail of each log. Sourced with
# $work set to a fresh folder, and only after own_network.sh: the programs
# started here listen on 7300, which must never be a port a person's copy holds.
if [ -z "${QUILL_OWN_NETWORK:-}" ]; then
  echo "FAIL: $(basename "$0") sources desktop_lib.sh outside a network namespace of its own (own_network.sh first)" >&2
  exit 1
fi
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  for log in "$work"/*.log; do
    [ -s "$log" ] && { echo "== $(basename "$log")" >&2; tail -n 15 "$log" >&2; }
  done
  exit 1
}
step() { echo "-- $*"; }

# Polls `condition` every 50 ms for at most `seconds`.
wait_for() {
  local seconds=$1; shift
  local tries=$((seconds * 20))
  while ((tries-- > 0)); do
    if "$@"; then return 0; fi
    sleep 0.05
  done
  return 1
}

# A virtual X display of `size` (WxH); DISPLAY names it. Xvfb picks a free
# display number itself and tells it on the descriptor. It never resets (a
# server resetting after its last client turns the next one away), and the
# display is used only once a client has been let in.
start_xvfb() {
  local size=$1 name=$2
  Xvfb -displayfd 3 -noreset -screen 0 "${size}x24" -nolisten tcp 3>"$work/$name.display" >"$work/$name.log" 2>&1 &
  pids+=($!)
  wait_for 10 test -s "$work/$name.display" || fail "Xvfb did not start"
  export DISPLAY=":$(head -n1 "$work/$name.display")"
  wait_for 10 xwininfo -root >/dev/null 2>&1 || fail "Xvfb does not let a client in on $DISPLAY"
}

# The main windows: named Form1 while in a tray, IRC Quillmere while it has a
# taskbar entry; the icon's own window, named alike, is the small one.
main_windows() {
  local id width
  for id in $(xdotool search --name '^(Form1|IRC Quillmere)$' 2>/dev/null); do
    width=$(xwininfo -id "$id" 2>/dev/null | awk '/Width:/ {print $2}')
    if [ "${width:-0}" -ge 600 ]; then echo "$id"; fi
  done
  return 0
}
main_window() {
  local all
  all=$(main_windows)
  echo "${all%%$'\n'*}"
}
main_window_exists() { [ -n "$(main_window)" ]; }
window_name() { xprop -id "$1" _NET_WM_NAME | sed 's/^[^=]*= //'; }
viewable() { xwininfo -id "$1" | grep -q 'Map State: IsViewable'; }
hidden() { ! viewable "$1"; }
wm_state() { xprop -id "$1" WM_STATE 2>/dev/null | sed -n 's/.*window state: //p'; }
iconic() { [ "$(wm_state "$1")" = Iconic ]; }
not_iconic() { ! iconic "$1"; }
window_place() { xwininfo -id "$1" | awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4} END {print x, y}'; }

# The program's icon in an XEmbed tray: its line in the window tree, and
# whether the tray has taken it in.
icon_line() { xwininfo -root -tree | grep '"IRC Quillmere": ("irc-quillmere"' || true; }
docked() {
  local id
  id=$(icon_line | awk '{print $1}')
  [ -n "$id" ] && ! xwininfo -id "$id" -tree 2>/dev/null | grep -q 'Parent window id: .*(the root window)'
}

# An XEmbed tray at the top right; trayer_pid names it.
start_trayer() {
  trayer --edge top --align right --widthtype request --height 24 --transparent false --tint 0x202020 \
    >"$work/$1.log" 2>&1 &
  trayer_pid=$!
  pids+=($trayer_pid)
}

# A home, XDG folders and a runtime folder of the test's own: nothing the
# program or the desktop tools write lands in the user's.
own_home() {
  export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_CACHE_HOME="$work/home/.cache" \
    XDG_DATA_HOME="$work/home/.local/share" XDG_RUNTIME_DIR="$work/runtime"
  mkdir -p "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME" "$XDG_DATA_HOME" "$XDG_RUNTIME_DIR"
  chmod 700 "$XDG_RUNTIME_DIR"
}

# A session bus of the test's own.
start_bus() {
  dbus-daemon --session --nofork --nopidfile --print-address=3 3>"$work/bus.address" >"$work/bus.log" 2>&1 &
  pids+=($!)
  wait_for 10 test -s "$work/bus.address" || fail "no session bus"
  export DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$work/bus.address")
}

# The StatusNotifierItem watcher and host `$host`, taking commands from
# $work/host.in and printing to the log `$1`; `$2` is its delay in ms, `$3`
# "late" for a host that first answers after 2 s.
start_host() {
  [ -p "$work/host.in" ] || {
    mkfifo "$work/host.in"
    sleep 1000 >"$work/host.in" &
    pids+=($!)
  }
  "$host" "${2:-0}" ${3:-} <"$work/host.in" >>"$1" 2>&1 &
  host_pid=$!
  pids+=($host_pid)
  wait_for 10 grep -q "^watching" "$1" || fail "the host did not start"
}
