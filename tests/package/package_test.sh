#!/usr/bin/env bash
# Builds the package from the build folder, checks it with lintian,
# appstreamcli and desktop-file-validate, checks what it holds, then unpacks it
# and starts the unpacked program offscreen for a moment. Usage:
#   package_test.sh <build folder> <version> <AppStream id>
set -euo pipefail

build=$1
version=$2
app_id=$3
work=$(mktemp -d /tmp/quill-package-XXXXXX)
pid=
cleanup() {
  if [ -n "$pid" ]; then
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

arch=$(dpkg --print-architecture)
deb="$build/irc-quillmere_${version}_${arch}.deb"
rm -f "$deb"
(cd "$build" && cpack -G DEB >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log" >&2; fail "cpack"; }
[ -f "$deb" ] || fail "no $deb"

echo "-- dependencies: $(dpkg-deb -f "$deb" Depends)"
dpkg-deb -f "$deb" Depends | grep -q 'libqt6widgets6' || fail "Depends misses Qt (shlibdeps)"

lintian --tag-display-limit 0 "$deb" >"$work/lintian.log" 2>&1 || true
cat "$work/lintian.log"
if grep -q '^E:' "$work/lintian.log"; then fail "lintian reports errors"; fi

dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' >"$work/contents"
for file in /usr/bin/irc-quillmere /usr/share/applications/irc-quillmere.desktop \
  "/usr/share/metainfo/$app_id.metainfo.xml" /usr/share/doc/irc-quillmere/copyright \
  /usr/share/doc/irc-quillmere/changelog.gz; do
  grep -qx "$file" "$work/contents" || fail "the package lacks $file"
done
for size in 16 22 24 32 48 64 128 256; do
  grep -qx "/usr/share/icons/hicolor/${size}x${size}/apps/irc-quillmere.png" "$work/contents" ||
    fail "the package lacks the ${size}px icon"
done

root="$work/root"
dpkg-deb -x "$deb" "$root"
appstreamcli validate --no-net "$root/usr/share/metainfo/$app_id.metainfo.xml" || fail "appstreamcli"
grep -q "<release version=\"$version\"" "$root/usr/share/metainfo/$app_id.metainfo.xml" ||
  fail "the metainfo does not name version $version"
desktop-file-validate "$root/usr/share/applications/irc-quillmere.desktop" || fail "desktop-file-validate"
for size in 16 256; do
  file "$root/usr/share/icons/hicolor/${size}x${size}/apps/irc-quillmere.png" | grep -q "$size x $size" ||
    fail "the ${size}px icon is not ${size} pixels"
done

# The unpacked program runs on its own: no file of the build folder is needed.
QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work" "$root/usr/bin/irc-quillmere" >"$work/run.log" 2>&1 &
pid=$!
sleep 2
kill -0 "$pid" 2>/dev/null || { cat "$work/run.log" >&2; fail "the unpacked program did not keep running"; }
echo "-- the unpacked program ran"
