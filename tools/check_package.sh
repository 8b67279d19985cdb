#!/usr/bin/env bash
# Checks what an install and the Debian package hold: the desktop entry and the AppStream data pass
# their validators, and the package holds the program, its icons, its manual page and the
# dependencies dpkg-shlibdeps found. Takes the build folder; prints one line per failed check.
set -uo pipefail
build=$1
id=io.github.vantrel.Vantrel
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
problems=0
fail() {
  echo "package check failed: $*"
  problems=$((problems + 1))
}

cmake --install "$build" --prefix "$root/usr" >/dev/null || fail "cmake --install"
desktop-file-validate "$root/usr/share/applications/$id.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$root/usr/share/metainfo/$id.metainfo.xml" >/dev/null || fail "appstreamcli validate"

(cd "$build" && cpack -G DEB >/dev/null) || fail "cpack -G DEB"
deb=$(ls "$build"/vantrel_*.deb 2>/dev/null | head -n 1)
if [ -n "$deb" ]; then
  listed=$(dpkg-deb -c "$deb" | awk '{print $6}')
  for file in ./usr/bin/vantrel ./usr/share/applications/$id.desktop ./usr/share/metainfo/$id.metainfo.xml \
      ./usr/share/man/man6/vantrel.6 ./usr/share/icons/hicolor/scalable/apps/$id.svg; do
    grep -qxF "$file" <<<"$listed" || fail "the package lacks $file"
  done
  for size in 16 32 48 64 128 256; do
    grep -qxF "./usr/share/icons/hicolor/${size}x${size}/apps/$id.png" <<<"$listed" || fail "the package lacks the ${size} px icon"
  done
  # Nothing of the build's own: tests, benchmarks and tools stay out.
  [ "$(grep -c '/bin/.' <<<"$listed")" -eq 1 ] || fail "the package holds programs besides vantrel"
  dpkg-deb -f "$deb" Depends | grep -q libqt6widgets6 || fail "the package's dependencies miss Qt Widgets"
  [ "$(dpkg-deb -f "$deb" Recommends)" = wine ] || fail "the package does not recommend wine"
else
  fail "no package was built"
fi
exit $((problems > 0))
