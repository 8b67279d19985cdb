#!/usr/bin/env bash
# Builds Vantrel and runs every test: the unit tests, the same tests under AddressSanitizer and
# UndefinedBehaviorSanitizer, the install and the Debian package, the portable Linux folder in a Debian
# root without Qt, each fuzz target for 30 seconds, and the Windows build's tests under Wine.
# Installs what is missing first.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/packages.sh

ensure_packages cmake ninja-build g++ clang libclang-rt-14-dev qt6-base-dev qt6-svg-dev libfontconfig-dev \
  desktop-file-utils appstream dpkg-dev libgtest-dev libgmock-dev googletest libbenchmark-dev g++-mingw-w64-x86-64-posix wine wine64 \
  fonts-dejavu-core xvfb xdotool x11-apps dosfstools exfatprogs exfat-fuse \
  libarchive-dev libarchive-tools 7zip zip qt6-wayland debootstrap weston

passed=0
failed=0
log=$(mktemp)
trap 'rm -f "$log"' EXIT

# Adds the counts of a ctest run to the totals; fails when it ran no test or any failed.
run_ctest() {
  local status=0
  ctest --preset "$1" -j "$(nproc)" 2>&1 | tee "$log" || status=$?
  local line
  line=$(grep -E '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
  if [ -z "$line" ]; then
    echo "ctest preset $1 ran no test"
    exit 1
  fi
  local total failures
  total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")
  failures=$(sed -E 's/.* ([0-9]+) tests? failed.*/\1/' <<<"$line")
  passed=$((passed + total - failures))
  failed=$((failed + failures))
  return "$status"
}

status=0
for preset in default sanitize; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  run_ctest "$preset" || status=1
done

# What an install and the Debian package hold, from the default build.
echo "Checking the install and the Debian package"
if bash tools/check_package.sh build/default; then
  passed=$((passed + 1))
else
  failed=$((failed + 1))
  status=1
fi

# The portable Linux folder (tools/portable.sh), in a minimal Debian root without Qt.
echo "Building the portable folder and testing it without Qt"
if tarball=$(bash tools/portable.sh) && bash tools/portable_test.sh "$tarball"; then
  passed=$((passed + 1))
else
  failed=$((failed + 1))
  status=1
fi

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
for target in archive_import definition_reader key_values launcher_prefixes registry_file; do
  corpus=$(mktemp -d)
  if [ "$target" = archive_import ]; then
    # Small mods packed by each tool, made here rather than kept as binaries.
    seed=$(mktemp -d)
    mkdir -p "$seed/Mod/Data/INI" "$seed/Mod/Maps/Desert"
    printf 'Weapon' >"$seed/Mod/Data/INI/Weapon.ini"
    printf 'map' >"$seed/Mod/Maps/Desert/Desert.map"
    printf 'big' >"$seed/Mod/!Mod.gib"
    ln -s ../.. "$seed/Mod/Up"
    (cd "$seed" && zip -qry "$corpus/mod.zip" Mod && 7zz a -snl -bso0 -bsp0 "$corpus/mod.7z" Mod >/dev/null &&
      bsdtar -czf "$corpus/mod.tgz" Mod && bsdtar -cJf "$corpus/mod.txz" Mod && bsdtar -cjf "$corpus/mod.tbz" Mod)
    rm -rf "$seed"
  else
    cp tests/fuzz/corpus/"$target"/* "$corpus"/
  fi
  echo "Fuzzing $target for 30 seconds"
  if build/fuzz/tests/fuzz/"$target"_fuzz -max_total_time=30 -max_len=4096 -print_final_stats=0 \
      -artifact_prefix=build/fuzz/"$target"- "$corpus" >"$log" 2>&1; then
    tail -n 2 "$log"
    passed=$((passed + 1))
  else
    cat "$log"
    failed=$((failed + 1))
    status=1
  fi
  rm -rf "$corpus"
done

# The Windows builds: the core and the Win32 layer alone, and the whole program against a Qt for
# mingw-w64 that tools/mingw_qt.sh builds once into ~/.cache (about 45 minutes on two cores).
VANTREL_MINGW_ARCHIVE=$(bash tools/mingw_archive.sh)
export VANTREL_MINGW_ARCHIVE
cmake --preset mingw >/dev/null
cmake --build --preset mingw
qt_started=$(date +%s)
VANTREL_MINGW_QT=$(bash tools/mingw_qt.sh)
export VANTREL_MINGW_QT
cmake --preset mingw-qt >/dev/null
cmake --build --preset mingw-qt
echo "The Windows program with its windows took $(( $(date +%s) - qt_started )) seconds to build, its Qt included."
wine_home=$(mktemp -d)
export WINEPREFIX="$wine_home/prefix" WINEDEBUG=-all
started=$(date +%s)
wineboot -i >/dev/null 2>&1
# Windows without a display: the tests create windows, none is shown.
wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
# The desktop started by wineboot keeps its driver: start afresh with the new one.
wineserver -k || true
wineserver -w || true
run_ctest mingw || status=1
run_ctest mingw-qt || status=1
wineserver -k || true
rm -rf "$wine_home"
unset WINEPREFIX
echo "The Windows tests under Wine took $(( $(date +%s) - started )) seconds, the prefix's creation included."

echo
echo "Vantrel tests: $passed passed, $failed failed"
exit "$status"
