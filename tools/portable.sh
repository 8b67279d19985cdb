#!/usr/bin/env bash
# Builds the portable Linux release for systems without Qt (a Steam Deck's SteamOS, say): the folder
# build/portable/out/vantrel, which runs wherever it is unpacked, and build/portable/vantrel-<version>-
# linux-x86_64.tar.gz of it. Only the program is built, no tests. Progress goes to standard error; the
# archive's path is printed last, alone on standard output: tarball=$(bash tools/portable.sh).
# Installs what is missing first (needs root).
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/packages.sh

# qt6-wayland for the Wayland plugins the folder carries beside X11's.
ensure_packages cmake ninja-build g++ qt6-base-dev qt6-svg-dev qt6-wayland libfontconfig-dev libarchive-dev >&2

build=build/portable
cmake --preset portable >&2
cmake --build --preset portable >&2

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
if [ -z "$version" ]; then
  echo "portable: no project version in $build/CMakeCache.txt" >&2
  exit 1
fi
out=$build/out
rm -rf "$out"
cmake --install "$build" --prefix "$out/vantrel" --strip >/dev/null
tarball=$build/vantrel-$version-linux-x86_64.tar.gz
rm -f "$tarball"
# Owned by whoever unpacks it, in a stable order.
tar -C "$out" --sort=name --owner=0 --group=0 --numeric-owner -czf "$tarball" vantrel
echo "portable: $tarball ($(du -h "$tarball" | cut -f1); $(du -sh "$out/vantrel" | cut -f1) unpacked)" >&2
realpath "$tarball"
