# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright 2026 The IRC Quillmere developers
# Sourced first by every test that starts the real program: the rest of the
# test runs in a network namespace of its own (unshare -n as root, -rn for a
# user where the kernel allows it), so that a copy of the program a person
# runs on port 7300, and whatever it talks to, is never touched. Where no
# namespace can be made the test says so and is skipped (exit 77).
if [ -z "${QUILL_OWN_NETWORK:-}" ]; then
  if [ "$(id -u)" -eq 0 ]; then quill_unshare=(unshare -n); else quill_unshare=(unshare -rn); fi
  if ! "${quill_unshare[@]}" true 2>/dev/null; then
    echo "SKIP: $(basename "$0") needs a network namespace of its own, and ${quill_unshare[*]} cannot make one here"
    exit 77
  fi
  QUILL_OWN_NETWORK=1 exec "${quill_unshare[@]}" "$0" "$@"
fi
ip link set lo up || { echo "FAIL: the namespace's loopback would not come up" >&2; exit 1; }
# A second loopback address: name lookups with AI_ADDRCONFIG (WeeChat's
# proxy code, for one) find no IPv4 at all on a machine whose only address is
# 127.0.0.1. Still loopback: nothing leaves the namespace.
ip addr add 127.0.0.2/8 dev lo 2>/dev/null || true
