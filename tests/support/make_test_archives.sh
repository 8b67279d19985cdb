#!/usr/bin/env bash
# Packs the archives the Windows import test reads, with Debian's own tools, into the folder given:
# names beyond any one code page in a 7z, a DOS code page name in a zip, and a link in a tar.
set -euo pipefail
out=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/wide/Maps/Карта" "$work/wide/Data/INI" "$work/oem/Data/INI" "$work/links/Data/INI"
printf 'map' >"$work/wide/Maps/Карта/Карта.map"
printf 'ini' >"$work/wide/Data/INI/名前.ini"
printf 'big' >"$work/wide/!Wide.big"
printf 'caf' >"$work/oem/Data/INI/$(printf 'Caf\202.ini')"
printf 'safe' >"$work/links/Data/INI/Safe.ini"
ln -s /etc/passwd "$work/links/Data/INI/Link.ini"
mkdir -p "$out"
rm -f "$out"/wide.7z "$out"/oem.zip "$out"/links.tar
(cd "$work/wide" && 7zz a -bso0 -bsp0 "$out/wide.7z" . >/dev/null)
(cd "$work/oem" && zip -qr "$out/oem.zip" .)
(cd "$work/links" && bsdtar -cf "$out/links.tar" .)
