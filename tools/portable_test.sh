#!/usr/bin/env bash
# Tests the portable Linux folder where no Qt is installed: unpacks its tar.gz (the argument, else what
# tools/portable.sh builds) into a minimal Debian root that holds only what any desktop Linux has (the C
# and C++ libraries, OpenGL, X11, Wayland's client libraries, fontconfig, the keyboard layouts), and in
# it, read-only as a SteamOS system is,
#   - checks that every library and plugin of the folder finds what it needs,
#   - starts the main window on Qt's offscreen platform, on X11 (Xvfb) and on Wayland (a headless
#     Weston) and checks that it stays up, loading Qt and its plugins from the folder and saying
#     nothing of a library or plugin it could not load,
#   - plays a mod in silent mode with a stand-in for wine and checks that the stand-in saw the mod's
#     files in the game folder and `-mod <file>.big` on its command line, and that the game folder is
#     as before afterwards: with the definition in VANTREL_HOME, then in the unpacked folder itself.
# The root is made once per machine with debootstrap and kept in ~/.cache/vantrel (about 400 MB; a
# minute or a few the first time). Needs root. Prints one line per failed check and exits 1 when any failed.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/packages.sh

ensure_packages debootstrap xvfb weston >&2

suite=bookworm
# What the folder leaves to the system (see packaging/portable.cmake). A change to the list makes
# another root.
system_packages=(libgl1 libegl1 libopengl0 libx11-6 libx11-xcb1 libxcb1 libxcb-glx0 libxcb-randr0
  libxcb-render0 libxcb-shape0 libxcb-shm0 libxcb-sync1 libxcb-xfixes0 libxcb-xkb1 libwayland-client0
  libwayland-cursor0 libwayland-egl1 libfontconfig1 libfreetype6 libharfbuzz0b libexpat1 zlib1g
  libzstd1 liblzma5 libbz2-1.0 xkb-data)

# The Debian mirror apt uses here, so that the root comes from where the machine's packages come from.
debian_mirror() {
  local mirror=""
  local file
  for file in /etc/apt/sources.list.d/*.sources; do
    [ -f "$file" ] || continue
    # The URIs of the first deb822 stanza of type deb that is not the security archive.
    mirror=$(awk '
      /^[ \t]*$/ { if (deb && uri != "" && uri !~ /security/) { print uri; exit } deb = 0; uri = ""; next }
      /^Types:/ { for (i = 2; i <= NF; i++) if ($i == "deb") deb = 1 }
      /^URIs:/ { uri = $2 }
      END { if (deb && uri != "" && uri !~ /security/) print uri }' "$file" | head -n 1)
    [ -n "$mirror" ] && break
  done
  if [ -z "$mirror" ] && [ -f /etc/apt/sources.list ]; then
    mirror=$(awk '$1 == "deb" && $0 !~ /security/ { for (i = 2; i <= NF; i++) if ($i ~ /^[a-z]+:\/\//) { print $i; exit } }' \
      /etc/apt/sources.list)
  fi
  echo "${mirror:-http://deb.debian.org/debian}"
}

# Unmounts whatever is mounted at or below a folder (debootstrap mounts /proc and /sys in its target while
# it works), deepest first.
unmount_below() {
  local top point
  top=$(realpath "$1")
  awk -v top="$top" '$5 == top || index($5, top "/") == 1 { print $5 }' /proc/self/mountinfo | sort -r |
    while read -r point; do umount -l "$point" 2>/dev/null || true; done
}

# Removes a root that may still have something mounted in it, without crossing into another file system.
remove_root() {
  [ -e "$1" ] || return 0
  unmount_below "$1"
  rm -rf --one-file-system "$1"
}

if ! unshare --mount --propagation private true 2>/dev/null; then
  echo "portable test failed: mount namespaces (unshare --mount) are refused here; the test needs them, and root"
  exit 1
fi

mirror=$(debian_mirror)
key=$(printf '%s\n' "$suite" minbase "$mirror" "${system_packages[@]}" | sha256sum | cut -c1-10)
cache_root=${XDG_CACHE_HOME:-$HOME/.cache}/vantrel
root=$cache_root/debian-$suite-minbase-$key
started=$(date +%s)
if [ ! -d "$root" ]; then
  mkdir -p "$cache_root"
  # Made beside its final name and renamed when complete: a run that is stopped leaves no half root
  # under that name, and the next run clears what it left.
  for stale in "$cache_root"/.debian-*.partial; do
    [ -e "$stale" ] || continue
    owner=${stale%.partial}
    kill -0 "${owner##*-}" 2>/dev/null || remove_root "$stale"
  done
  partial=$cache_root/.debian-$suite-minbase-$key-$$.partial
  trap 'remove_root "$partial"' EXIT
  echo "Making a minimal Debian $suite root from $mirror in $root (once per machine)" >&2
  debootstrap_log=$(mktemp)
  # In a mount namespace of its own, so that what it mounts in the root goes when it ends, however it ends.
  if ! unshare --mount --propagation private debootstrap --variant=minbase --include="$(IFS=,; echo "${system_packages[*]}")" \
      "$suite" "$partial" "$mirror" >"$debootstrap_log" 2>&1; then
    tail -n 30 "$debootstrap_log" >&2
    echo "portable test failed: debootstrap could not make the Debian root (log above)" >&2
    rm -f "$debootstrap_log"
    exit 1
  fi
  rm -f "$debootstrap_log"
  qt=$(find "$partial" -xdev -name 'libQt6*' -print -quit)
  if [ -n "$qt" ]; then
    echo "portable test failed: the Debian root holds Qt ($qt), so it cannot show what the folder lacks" >&2
    exit 1
  fi
  # Emptied of what debootstrap downloaded and of what it may have left mounted.
  rm -f "$partial"/var/cache/apt/archives/*.deb
  unmount_below "$partial"
  if ! mv -T "$partial" "$root" 2>/dev/null; then
    # Another run finished first: take its root.
    remove_root "$partial"
  fi
  # Roots of an earlier package list are not used again.
  for old in "$cache_root"/debian-*-minbase-*; do
    [ "$old" = "$root" ] || remove_root "$old"
  done
  trap - EXIT
  echo "The Debian root took $(( $(date +%s) - started )) seconds to make." >&2
fi
if [ -n "$(find "$root" -xdev -name 'libQt6*' -print -quit)" ]; then
  echo "portable test failed: the cached Debian root $root holds Qt; delete it to have it made again"
  exit 1
fi

tarball=${1:-}
if [ -z "$tarball" ]; then
  tarball=$(bash tools/portable.sh)
fi
if [ ! -f "$tarball" ]; then
  echo "portable test failed: no archive $tarball"
  exit 1
fi
tarball=$(realpath "$tarball")

work=$(mktemp -d)
trap 'rm -rf --one-file-system "$work"' EXIT
chmod 755 "$work"
if ! tar -C "$work" -xzf "$tarball" || [ ! -x "$work/vantrel/vantrel" ]; then
  echo "portable test failed: $tarball does not unpack to a folder vantrel/ holding the program vantrel"
  exit 1
fi

# The machine the silent launch plays on, at the paths the root sees (the work folder is its /tmp): a
# prefix whose registry names Generals' folder, the game with a file the mod replaces, the mod under
# C:\Mods, its definition in a throw-away VANTREL_HOME, and a stand-in for wine that notes its command
# line and what the game folder holds while it "runs". Only bash and coreutils are in the root.
prefix=$work/prefix
game=$prefix/drive_c/Games/Generals
mkdir -p "$prefix/dosdevices" "$game/Data/INI" "$game/Data/Maps/Alpine" "$prefix/drive_c/Mods/Example/Maps" \
  "$work/home/definitions" "$work/runtime"
chmod 700 "$work/runtime"
ln -s ../drive_c "$prefix/dosdevices/c:"
ln -s / "$prefix/dosdevices/z:"
printf 'WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win32\n\n[Software\\\\Electronic Arts\\\\EA Games\\\\Generals] 1700000000\n"InstallPath"="C:\\\\Games\\\\Generals\\\\"\n' \
  >"$prefix/system.reg"
echo game >"$game/generals.exe"
echo "game data" >"$game/Data/INI/GameData.ini"
echo "game map" >"$game/Data/Maps/Alpine/Alpine.map"
echo "mod data" >"$prefix/drive_c/Mods/Example/GameData.ini"
echo "mod map" >"$prefix/drive_c/Mods/Example/Maps/Mod.map"
echo big >"$prefix/drive_c/Mods/Example/Example.big"
printf 'Location=C:\\Mods\\Example\\Example.big\r\n[Folder]\r\nSource=C:\\Mods\\Example\\Maps\r\nDestination=C:\\Games\\Generals\\Data\r\n[Folder]\r\nSource=C:\\Mods\\Example\\GameData.ini\r\nDestination=C:\\Games\\Generals\\Data\\INI\r\n' \
  >"$work/home/definitions/Example.vtl"
cat >"$work/fake-wine" <<'EOF'
#!/bin/bash
# Stands in for wine: notes its arguments and every file of the game folder with its content.
shopt -s globstar nullglob
{
  for argument in "$@"; do echo "arg: $argument"; done
  for file in /tmp/prefix/drive_c/Games/Generals/**; do
    [ -f "$file" ] && echo "file: ${file#/tmp/prefix/drive_c/Games/Generals/}: $(head -c 100 "$file")"
  done
} >>/tmp/wine.log
EOF
chmod 755 "$work/fake-wine"
# The game folder as a list of files with their checksums, to compare after the launch.
snapshot() {
  (cd "$game" && find . -print0 | sort -z | xargs -0 stat -c '%n %F %a %s' && find . -type f -print0 | sort -z |
    xargs -0 sha256sum)
}
before=$(snapshot)

# Runs a command in the root, with the work folder as its /tmp, the host's /dev and a /proc of its own,
# in a mount namespace of its own: the mounts go when it ends, however it ends, and the cached root is
# read-only throughout, as a SteamOS system is.
in_root() {
  unshare --mount --propagation private -- bash -c '
    set -e
    root=$1 work=$2
    shift 2
    mount --bind "$root" "$root"
    mount -o remount,bind,ro "$root"
    mount --bind "$work" "$root/tmp"
    mount --rbind /dev "$root/dev"
    mount -t proc proc "$root/proc"
    trap "umount -l \"$root/proc\" \"$root/dev\" \"$root/tmp\" 2>/dev/null || true" EXIT
    chroot "$root" /usr/bin/env -i PATH=/usr/bin:/bin HOME=/tmp/home XDG_RUNTIME_DIR=/tmp/runtime \
      VANTREL_HOME=/tmp/home/definitions WINEPREFIX=/tmp/prefix LANG=C.UTF-8 "$@"
  ' bash "$root" "$work" "$@"
}

if ! in_root true 2>"$work/mount.err"; then
  echo "portable test failed: the Debian root could not be entered (mount namespace, bind mounts or chroot refused):"
  cat "$work/mount.err"
  exit 1
fi

failures=0
fail() {
  echo "portable test failed: $*"
  failures=$((failures + 1))
}

# Every library and plugin finds its dependencies in the folder or in the root. (The program itself
# finds lib/ through its own RPATH; a plugin is loaded by the program, so here lib/ is named.)
missing=$(in_root bash -c 'cd /tmp/vantrel && for file in vantrel lib/*.so* plugins/*/*.so; do
    [ -L "$file" ] && continue
    if [ "$file" = vantrel ]; then ldd "$file"; else LD_LIBRARY_PATH=/tmp/vantrel/lib ldd "$file"; fi 2>&1 | awk -v file="$file" "/not found/ { print file \": \" \$1 }"
  done' | sort -u || true)
if [ -n "$missing" ]; then
  fail "libraries missing from the folder and from the minimal system:"
  echo "$missing"
fi

# (a) The main window: up for 3 seconds, then ended. While it runs, the program notes which Qt libraries
# and plugins it loaded. Takes the platform, its plugin's file, then settings for env.
show_window() {
  local platform=$1 plugin=$2
  shift 2
  local window
  window=$(in_root env "$@" QT_QPA_PLATFORM="$platform" bash -c '
    /tmp/vantrel/vantrel 2>/tmp/window.err &
    pid=$!
    sleep 3
    if ! kill -0 "$pid" 2>/dev/null; then
      wait "$pid" && echo "ended: 0" || echo "ended: $?"
      exit 0
    fi
    grep -o "/[^ ]*\(libQt6[A-Za-z]*\.so[.0-9]*\|/plugins/[^ ]*\.so\)$" "/proc/$pid/maps" | sort -u
    kill "$pid"
    wait "$pid" 2>/dev/null || true
    echo running' 2>&1) || true
  if ! grep -qx running <<<"$window"; then
    fail "the main window ($platform) did not stay up for 3 seconds ($(grep '^ended' <<<"$window" || echo "$window" | tail -n 1)); its errors:"
    cat "$work/window.err" 2>/dev/null
    return
  fi
  grep -q '^/tmp/vantrel/lib/libQt6Widgets\.so' <<<"$window" ||
    fail "the main window ($platform) did not use the folder's Qt Widgets; it loaded:$(printf '\n%s' "$window")"
  grep -qx "/tmp/vantrel/plugins/platforms/$plugin" <<<"$window" ||
    fail "the main window ($platform) did not load the folder's plugin $plugin; it loaded:$(printf '\n%s' "$window")"
  if grep -v '^/tmp/vantrel/' <<<"$window" | grep -q '^/'; then
    fail "the main window ($platform) loaded Qt from outside the folder: $(grep -v '^/tmp/vantrel/' <<<"$window" | grep '^/')"
  fi
  if grep -Eiq 'cannot load|could not load|could not find|failed to load|error while loading|undefined symbol|not found|cannot connect|failed to create' \
      "$work/window.err"; then
    fail "the main window ($platform) said it could not load a library or plugin, or reach its display:"
    cat "$work/window.err"
  fi
}
show_window offscreen libqoffscreen.so

# On X11 and on Wayland, the displays a Steam Deck has in Desktop Mode and, through Xwayland, in Game
# Mode: Xvfb and a headless Weston run outside the root. The root's programs reach Xvfb through its
# abstract socket and Weston through the socket it makes in the root's XDG_RUNTIME_DIR.
display=99
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do
  display=$((display + 1))
done
Xvfb ":$display" -screen 0 1280x800x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb=$!
# Weston with no helper programs of its own: the kiosk shell, and no input method.
printf '[input-method]\npath=\n' >"$work/weston.ini"
XDG_RUNTIME_DIR=$work/runtime weston --config="$work/weston.ini" --backend=headless-backend.so --shell=kiosk-shell.so \
  --socket=wayland-vantrel --idle-time=0 >"$work/weston.log" 2>&1 &
weston=$!
trap 'kill "$xvfb" "$weston" 2>/dev/null || true; wait "$xvfb" "$weston" 2>/dev/null || true; rm -rf --one-file-system "$work"' EXIT
for _ in $(seq 50); do
  [ -e "/tmp/.X11-unix/X$display" ] && [ -e "$work/runtime/wayland-vantrel" ] && break
  sleep 0.1
done
if [ -e "/tmp/.X11-unix/X$display" ]; then
  show_window xcb libqxcb.so DISPLAY=":$display"
else
  fail "Xvfb did not start; it said: $(cat "$work/xvfb.log")"
fi
if [ ! -e "$work/runtime/wayland-vantrel" ]; then
  fail "Weston did not start; it said: $(cat "$work/weston.log")"
elif [ -e "$work/vantrel/plugins/platforms/libqwayland-generic.so" ]; then
  show_window wayland libqwayland-generic.so WAYLAND_DISPLAY=wayland-vantrel
else
  echo "portable test: the folder holds no Wayland plugin; the window was not tried on Wayland" >&2
fi
kill "$xvfb" "$weston" 2>/dev/null || true
wait "$xvfb" "$weston" 2>/dev/null || true

# (b) Silent mode plays the mod with the stand-in for wine, and the game folder is put back. Takes what
# the run is, then settings for env.
play() {
  local run=$1
  shift
  rm -f "$work/wine.log"
  local played=0
  in_root env "$@" WINE=/tmp/fake-wine VANTREL_MESSAGES=stderr /tmp/vantrel/vantrel -SILENT Example \
    >"$work/silent.out" 2>"$work/silent.err" || played=$?
  if [ "$played" -ne 0 ]; then
    fail "vantrel -SILENT Example ($run) exited with $played; it said:"
    cat "$work/silent.out" "$work/silent.err"
  elif [ ! -f "$work/wine.log" ]; then
    fail "vantrel -SILENT Example ($run) did not start the stand-in for wine; it said:"
    cat "$work/silent.out" "$work/silent.err"
  else
    local seen line
    seen=$(<"$work/wine.log")
    for line in 'arg: C:\Games\Generals\generals.exe' 'file: Data/INI/GameData.ini: mod data' 'file: Data/Maps/Mod.map: mod map'; do
      grep -qxF -- "$line" <<<"$seen" || fail "the stand-in for wine ($run) did not see \"$line\"; it saw:$(printf '\n%s' "$seen")"
    done
    grep -A1 -xF 'arg: -mod' <<<"$seen" | grep -qxF 'arg: C:\Mods\Example\Example.big' ||
      fail "the stand-in for wine ($run) did not get -mod C:\Mods\Example\Example.big; it saw:$(printf '\n%s' "$seen")"
  fi
  local after
  after=$(snapshot)
  if [ "$before" != "$after" ]; then
    fail "the game folder is not as before the launch ($run):"
    diff <(echo "$before") <(echo "$after") || true
  fi
}
play "definitions in VANTREL_HOME"

# (c) Unpacked where the user may write, as in the home folder, the folder itself holds the definitions
# and the launch's journal: VANTREL_HOME unset, nothing goes to the user's data or state folders.
mv "$work/home/definitions/Example.vtl" "$work/vantrel/"
play "definitions in the unpacked folder" -u VANTREL_HOME
if [ -e "$work/home/.local/share/vantrel" ] || [ -e "$work/home/.local/state/vantrel" ]; then
  fail "a launch from the unpacked folder wrote in the user's data or state folder: $(find "$work/home/.local" | head)"
fi

echo "portable test: $(( $(date +%s) - started )) seconds" >&2
exit $((failures > 0))
