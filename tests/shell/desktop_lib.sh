# What the desktop tests share: every process they start is ended on exit, every
# wait is bounded, and a failure prints the tail of each log. Sourced with
# $work set to a fresh folder.
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
# display number itself and tells it on the descriptor.
start_xvfb() {
  local size=$1 name=$2
  Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp 3>"$work/$name.display" >"$work/$name.log" 2>&1 &
  pids+=($!)
  wait_for 10 test -s "$work/$name.display" || fail "Xvfb did not start"
  export DISPLAY=":$(head -n1 "$work/$name.display")"
}

main_window() { xdotool search --name '^Form1' 2>/dev/null | head -n1 || true; }
viewable() { xwininfo -id "$1" | grep -q 'Map State: IsViewable'; }
window_place() { xwininfo -id "$1" | awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4} END {print x, y}'; }

# The program's icon in an XEmbed tray: its line in the window tree, and
# whether the tray has taken it in.
icon_line() { xwininfo -root -tree | grep '"IRC Quillmere": ("irc-quillmere"' || true; }
docked() {
  local id
  id=$(icon_line | awk '{print $1}')
  [ -n "$id" ] && ! xwininfo -id "$id" -tree 2>/dev/null | grep -q 'Parent window id: .*(the root window)'
}
