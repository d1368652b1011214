#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright 2026 The IRC Quillmere developers
# Builds the Debian package the Debian way (scripts/build-deb), holds it to
# Debian's tools (lintian --pedantic, appstreamcli --pedantic,
# desktop-file-validate), checks what it holds, then unpacks it and starts the
# unpacked program, in a network namespace of its own, until it listens.
# Usage:
#   package_test.sh <source folder> <build folder> <version> <release date> <AppStream id>
set -euo pipefail

source_dir=$1
build=$2
version=$3
date=$4
app_id=$5
work=$(mktemp -d /tmp/quill-package-XXXXXX)
cleanup() { rm -rf "$work"; }
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# debian/changelog is made from CMakeLists.txt's version and date; the copy
# in the tree, for a plain dpkg-buildpackage, must not drift from it.
cmp -s "$build/package/changelog" "$source_dir/debian/changelog" ||
  fail "debian/changelog is not the one CMakeLists.txt makes: copy $build/package/changelog over it"

arch=$(dpkg --print-architecture)
deb="$build/irc-quillmere_${version}_${arch}.deb"
rm -f "$deb"
"$source_dir/scripts/build-deb" "$build" || fail "the package did not build"
[ -f "$deb" ] || fail "no $deb"

echo "-- dependencies: $(dpkg-deb -f "$deb" Depends)"
dpkg-deb -f "$deb" Depends | grep -q 'libqt6widgets6' || fail "Depends misses Qt (shlibs)"
dpkg-deb -f "$deb" Depends | grep -qE 'libpcre(3|2-8-0)' || fail "Depends misses the regular-expression engine (shlibs)"
[ "$(dpkg-deb -f "$deb" Recommends)" = qt6-wayland ] || fail "Recommends is not qt6-wayland"

# Every tag but the overridden ones (whose reasons stand beside them) counts.
# Experimental tags are not asked for: lintian 2.122 (Debian 13) made its
# spelling check of binaries one, as it reads words into machine code.
lintian --pedantic --info --tag-display-limit 0 "$deb" >"$work/lintian.log" 2>&1 || true
cat "$work/lintian.log"
if grep -qE '^[EWIPX]:' "$work/lintian.log"; then fail "lintian has something to say"; fi

dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' >"$work/contents"
for file in /usr/bin/irc-quillmere /usr/share/applications/irc-quillmere.desktop \
  "/usr/share/metainfo/$app_id.metainfo.xml" /usr/share/doc/irc-quillmere/copyright \
  /usr/share/doc/irc-quillmere/changelog.gz /usr/share/man/man1/irc-quillmere.1.gz; do
  grep -qx "$file" "$work/contents" || fail "the package lacks $file"
done
for size in 16 22 24 32 48 64 128 256; do
  grep -qx "/usr/share/icons/hicolor/${size}x${size}/apps/irc-quillmere.png" "$work/contents" ||
    fail "the package lacks the ${size}px icon"
done

root="$work/root"
dpkg-deb -x "$deb" "$root"
metainfo="$root/usr/share/metainfo/$app_id.metainfo.xml"
appstreamcli validate --pedantic --no-net "$metainfo" >"$work/appstream.log" 2>&1 || true
cat "$work/appstream.log"
grep -qE '^[EWIP]:' "$work/appstream.log" && fail "appstreamcli has something to say"
grep -q "<release version=\"$version\" date=\"$date\"" "$metainfo" || fail "the metainfo does not name $version of $date"
grep -q "<project_license>GPL-3.0-or-later</project_license>" "$metainfo" || fail "the metainfo names another licence"
desktop-file-validate "$root/usr/share/applications/irc-quillmere.desktop" >"$work/desktop.log" 2>&1 || true
[ ! -s "$work/desktop.log" ] || { cat "$work/desktop.log"; fail "desktop-file-validate has something to say"; }
zcat "$root/usr/share/doc/irc-quillmere/changelog.gz" | head -n1 | grep -q "^irc-quillmere ($version)" ||
  fail "the changelog does not start with $version"
zcat "$root/usr/share/man/man1/irc-quillmere.1.gz" | grep -q "irc-quillmere $version" ||
  fail "the manual page does not name $version"
grep -q "GPL-3.0-or-later" "$root/usr/share/doc/irc-quillmere/copyright" || fail "the copyright names another licence"
for size in 16 256; do
  file "$root/usr/share/icons/hicolor/${size}x${size}/apps/irc-quillmere.png" | grep -q "$size x $size" ||
    fail "the ${size}px icon is not ${size} pixels"
done

# The unpacked program runs on its own, no file of the build folder needed,
# and listens on 7300: in a namespace of its own, away from a copy in use.
if [ "$(id -u)" -eq 0 ]; then own_network=(unshare -n); else own_network=(unshare -rn); fi
if ! "${own_network[@]}" true 2>/dev/null; then
  echo "-- no network namespace can be made here (${own_network[*]}): the unpacked program is not started"
  exit 0
fi
mkdir -p "$work/home" "$work/runtime"
chmod 700 "$work/runtime"
HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=offscreen "${own_network[@]}" bash -c '
  ip link set lo up
  "$1" >"$2/run.log" 2>&1 &
  pid=$!
  for _ in $(seq 1 100); do
    if [ "$(ss -Hltn "sport = :7300" | wc -l)" -eq 1 ]; then kill "$pid"; exit 0; fi
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.05
  done
  kill "$pid" 2>/dev/null
  cat "$2/run.log" >&2
  exit 1' _ "$root/usr/bin/irc-quillmere" "$work" || fail "the unpacked program did not listen on 7300"
echo "-- the unpacked program listened on 7300"
echo "package test passed"
