#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright 2026 The IRC Quillmere developers
# The README's client recipes, read out of README.md as they stand, through the
# real program to real proxies and an IRC server on loopback: irssi (in tmux)
# through tinyproxy's HTTP CONNECT, WeeChat (headless) through microsocks'
# SOCKS5. Each joins a channel and says a line, which a second client, on the
# server directly, must hear. Usage:
#   clients_test.sh <irc-quillmere> <README.md>
set -euo pipefail
source "$(dirname "$0")/own_network.sh"

program=$1
readme=$2
for tool in irssi weechat-headless ngircd tinyproxy microsocks tmux socat; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing: install the package $tool (scripts/install-deps test)" >&2; exit 1; }
done
work=$(mktemp -d /tmp/quill-clients-XXXXXX)
source "$(dirname "$0")/desktop_lib.sh"
own_home
trap 'tmux kill-server 2>/dev/null || true; cleanup' EXIT
export TMUX_TMPDIR=$work

# The indented block that follows the README's "**<name>**" paragraph.
recipe() {
  awk -v head="**$1**" 'index($0, head) == 1 {on = 1; next}
    on && /^    / {print substr($0, 5); got = 1; next}
    on && got && !/^    / && NF {exit}' "$readme"
}
irssi_recipe=$(recipe irssi)
weechat_recipe=$(recipe WeeChat)
[[ $irssi_recipe == *proxy_string* ]] || fail "no irssi recipe in the README"
[[ $weechat_recipe == *"/proxy add"* ]] || fail "no WeeChat recipe in the README"

irc_port=6667
cat >"$work/ngircd.conf" <<EOF
[Global]
Name = irc.quill.test
Info = the clients test
Listen = 127.0.0.1
Ports = $irc_port
[Options]
PAM = no
Ident = no
DNS = no
EOF
ngircd -n -f "$work/ngircd.conf" >"$work/ngircd.log" 2>&1 &
pids+=($!)
http_port=8888
cat >"$work/tinyproxy.conf" <<EOF
User nobody
Group nogroup
Port $http_port
Listen 127.0.0.1
Allow 127.0.0.1
ConnectPort $irc_port
LogFile "$work/tinyproxy.log"
PidFile "$work/tinyproxy.pid"
EOF
chmod 777 "$work"
tinyproxy -d -c "$work/tinyproxy.conf" >"$work/tinyproxy.out" 2>&1 &
pids+=($!)
socks_port=1080
microsocks -i 127.0.0.1 -p "$socks_port" >"$work/microsocks.log" 2>&1 &
pids+=($!)
listening() { [ "$(ss -Hltn "sport = :$1" | wc -l)" -ge 1 ]; }
for port in $irc_port $http_port $socks_port; do
  wait_for 10 listening "$port" || fail "nothing listens on $port"
done

start_xvfb 1024x768 xvfb
env -u WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent QT_QPA_PLATFORM=xcb "$program" \
  >"$work/program.log" 2>&1 &
pids+=($!)
wait_for 10 main_window_exists || fail "no window"
window=$(main_window)
wait_for 10 viewable "$window" || fail "the window never showed"
read -r wx wy < <(window_place "$window")
wait_for 5 listening 7300 || fail "the program does not listen on 7300"
# The upstream, typed into the fields and set as a user does.
use_upstream() {
  xdotool mousemove $((wx + 280)) $((wy + 327)) click --repeat 3 1 key ctrl+a BackSpace type --delay 10 "127.0.0.1"
  xdotool mousemove $((wx + 470)) $((wy + 327)) click --repeat 3 1 key ctrl+a BackSpace type --delay 10 "$1"
  xdotool mousemove $((wx + 536)) $((wy + 327)) click 1
  sleep 0.3
}

# The second client, on the server directly, in the channel.
mkfifo "$work/observer.in"
socat - "TCP:127.0.0.1:$irc_port" <"$work/observer.in" >"$work/observer.log" 2>&1 &
pids+=($!)
exec 4>"$work/observer.in"
printf 'NICK observer\r\nUSER observer 0 * :observer\r\nJOIN #quill\r\n' >&4
wait_for 10 grep -q ' 366 observer #quill' "$work/observer.log" || fail "the observer did not join"
heard() { grep -q "PRIVMSG #quill :$1" "$work/observer.log"; }
# The client's connection goes to the relay, not past it.
through_relay() { ss -Htnp 'dport = :7300' | grep -q "\"$1"; }
joined() { grep -q "^:$1!.* JOIN :\\?#quill" "$work/observer.log"; }

step "irssi through the relay and tinyproxy, with the README's config lines"
use_upstream "$http_port"
mkdir -p "$work/irssi"
printf '%s\n' "$irssi_recipe" >"$work/irssi/config"
tmux new-session -d -s irssi -x 120 -y 30 "irssi --home=$work/irssi -n qirssi 2>$work/irssi.err"
wait_for 10 bash -c "tmux capture-pane -p -t irssi | grep -q 'Irssi'" || fail "irssi did not start"
tmux send-keys -t irssi "/connect 127.0.0.1 $irc_port" Enter
wait_for 15 bash -c "tmux capture-pane -p -t irssi | grep -qi 'Welcome'" ||
  fail "irssi never registered: $(tmux capture-pane -p -t irssi | tail -n 5)"
tmux send-keys -t irssi "/join #quill" Enter
wait_for 10 joined qirssi || fail "irssi did not join"
tmux send-keys -t irssi "/msg #quill hello-from-irssi" Enter
wait_for 10 heard hello-from-irssi || fail "the observer did not hear irssi"
through_relay irssi || fail "irssi's connection does not go through the relay"
grep -q "CONNECT" "$work/tinyproxy.log" || fail "irssi did not go through tinyproxy"
tmux send-keys -t irssi "/quit" Enter

step "WeeChat through the relay and microsocks, with the README's commands"
use_upstream "$socks_port"
commands=$(printf '%s\n' "$weechat_recipe" | paste -sd ';')
# The test's IRC server speaks plain text; WeeChat 4 (Debian 13) asks for TLS
# unless told otherwise, and 3.8 (Debian 12) names that option ssl.
weechat-headless --stdout --dir "$work/weechat" --run-command "/server add quill 127.0.0.1/$irc_port;\
/set irc.server.quill.tls off;/set irc.server.quill.ssl off;/set irc.server.quill.nicks qweechat;\
/set irc.server.quill.autojoin #quill;$commands;/connect quill;/repeat -interval 1 30 /msg -server quill #quill hello-from-weechat" \
  >"$work/weechat.log" 2>&1 &
pids+=($!)
wait_for 30 joined qweechat || fail "WeeChat did not join"
wait_for 10 heard hello-from-weechat || fail "the observer did not hear WeeChat"
through_relay weechat || fail "WeeChat's connection does not go through the relay"

echo "clients test passed"
