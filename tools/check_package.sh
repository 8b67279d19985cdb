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

# The program as the package installs it, its folder read-only and a fresh home, plays a mod from the
# user's data folder against a throw-away prefix whose stand-in for wine notes what the game folder
# holds meanwhile.
play_installed() {
  local home="$root/home" prefix="$root/prefix" game="$root/prefix/drive_c/Games/Generals"
  mkdir -p "$home/.local/share/vantrel" "$prefix/dosdevices" "$game/Data" "$root/mod"
  ln -s ../drive_c "$prefix/dosdevices/c:"
  ln -s / "$prefix/dosdevices/z:"
  printf 'WINE REGISTRY Version 2\n\n[Software\\\\Electronic Arts\\\\EA Games\\\\Generals] 1\n"InstallPath"="C:\\\\Games\\\\Generals\\\\"\n' \
    >"$prefix/system.reg"
  echo game >"$game/generals.exe"
  echo "the mod's file" >"$root/mod/Readme.txt"
  printf 'Location=Z:%s\r\n[Folder]\r\nSource=Z:%s\r\nDestination=C:\\Games\\Generals\\Data\r\n' \
    "$(tr / '\\' <<<"$root/mod/Sample.big")" "$(tr / '\\' <<<"$root/mod/Readme.txt")" \
    >"$home/.local/share/vantrel/Sample.vtl"
  printf '#!/bin/sh\nls "%s/Data" >"%s/seen.txt"\n' "$game" "$root" >"$root/wine"
  chmod +x "$root/wine"
  env -i PATH=/usr/bin:/bin HOME="$home" WINEPREFIX="$prefix" WINE="$root/wine" VANTREL_MESSAGES=stderr \
    unshare -m sh -c 'mount --bind "$1" "$1" && mount -o remount,bind,ro "$1" && "$1/bin/vantrel" -SILENT Sample' \
    sh "$root/unpacked/usr" || return 1
  grep -qx Readme.txt "$root/seen.txt" || { echo "the game did not find the mod's file"; return 1; }
  [ -z "$(ls -A "$game/Data")" ] || { echo "the game folder was not put back"; return 1; }
  ! ls "$home/.local/share/vantrel" | grep -q journal || { echo "a launch journal was left"; return 1; }
}
if [ -z "$deb" ]; then
  :
elif ! dpkg-deb -x "$deb" "$root/unpacked"; then
  fail "the package cannot be unpacked"
elif unshare -m true 2>/dev/null; then
  play_installed || fail "the packaged program did not play a mod from the user's folder"
else
  echo "package check: mount namespaces are refused here; the installed program's launch was not tried"
fi

exit $((problems > 0))
