#!/usr/bin/env bash
# The Windows program as a player unpacks it, run under Wine in a prefix of its own with Wine's X11
# driver on a virtual screen: the installed folder alone (no DLL from elsewhere) plays a mod in silent
# mode against a stand-in game and leaves the game folder as it was, shows its main window with the
# game and the mod listed, and a second start finds that window and refuses to open another.
#   windows_program_test.sh <build folder> <fake game exe> <window probe exe>
# The main window's picture is left in <build folder>/windows-main-window.png.
set -euo pipefail
build=$1
fake_game=$2
probe=$3

work=$(mktemp -d)
xvfb=
vantrel=
finish() {
  [ -n "$vantrel" ] && kill "$vantrel" 2>/dev/null || true
  WINEPREFIX="$work/prefix" wineserver -k 2>/dev/null || true
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap finish EXIT
fail() {
  echo "FAILED: $*"
  exit 1
}

cmake --install "$build" --prefix "$work/Vantrel" >/dev/null
for file in vantrel.exe Qt6Core.dll Qt6Gui.dll Qt6Widgets.dll libstdc++-6.dll libgcc_s_seh-1.dll \
  libwinpthread-1.dll platforms/qwindows.dll styles/qwindowsvistastyle.dll; do
  [ -f "$work/Vantrel/$file" ] || fail "the installed folder lacks $file"
done

Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"
export WINEPREFIX="$work/prefix" WINEDEBUG=-all VANTREL_HOME='C:\Vantrel'
# Only the installed folder's DLLs, and none of the host's Qt settings.
unset WINEPATH $(env | sed -n 's/^\(WINEQT_[A-Za-z0-9_]*\)=.*/\1/p')
wineboot -i >/dev/null 2>&1
wine reg add 'HKLM\SOFTWARE\Electronic Arts\EA Games\Generals' /v InstallPath /d 'C:\Games\Generals\' /f \
  /reg:32 >/dev/null 2>&1

drive=$WINEPREFIX/drive_c
mkdir -p "$drive/Games/Generals/Data/INI" "$drive/Mods/Alpha/INI" "$drive/Vantrel"
cp "$fake_game" "$drive/Games/Generals/generals.exe"
printf 'game ini' >"$drive/Games/Generals/Data/INI/GameData.ini"
printf 'mod ini' >"$drive/Mods/Alpha/INI/GameData.ini"
printf 'big' >"$drive/Mods/Alpha/Alpha.big"
printf 'Location=C:\\Mods\\Alpha\\Alpha.big\r\n[Folder]\r\nSource=C:\\Mods\\Alpha\\INI\r\nDestination=C:\\Games\\Generals\\Data\r\n' \
  >"$drive/Vantrel/Alpha.vtl"
describe() { (cd "$drive/Games" && find . -print0 | sort -z | xargs -0 ls -ld --time-style=+ | awk '{print $1, $5, $NF}'); }
before=$(describe)

echo "Silent mode plays the mod with the stand-in game"
FAKE_GAME_LOG='C:\game.log' VANTREL_MESSAGES=stderr wine "$work/Vantrel/vantrel.exe" -SILENT Alpha ||
  fail "silent mode ended with status $?"
log=$(tr -d '\r' <"$drive/game.log")
grep -qF -- '-mod C:\Mods\Alpha\Alpha.big' <<<"$log" || fail "the game was not started with the mod: $log"
grep -q 'GameData.ini mod ini' <<<"$log" || fail "the mod's file was not in place while the game ran: $log"
[ "$(describe)" = "$before" ] || fail "the game folder differs after the launch: $(diff <(echo "$before") <(describe))"

echo "The main window shows the game and the mod"
wine "$work/Vantrel/vantrel.exe" >"$work/first.log" 2>&1 &
vantrel=$!
found=$(wine "$probe" Vantrel 90) || fail "no window titled Vantrel: $(cat "$work/first.log")"
echo "$found"
sleep 1
window=$(xdotool search --name '^Vantrel$' | head -n 1)
[ -n "$window" ] || fail "Wine's X11 driver shows no window titled Vantrel"
xwd -silent -id "$window" >"$work/window.xwd"
python3 - "$work/window.xwd" "$build/windows-main-window.png" <<'EOF' || fail "the lists do not show the game and the mod"
import struct, sys, zlib
data = open(sys.argv[1], 'rb').read()
header = struct.unpack('>25I', data[:100])
width, height, line, colors = header[4], header[5], header[12], header[19]
start = header[0] + colors * 12
def pixel(x, y):
    b, g, r = data[start + y * line + x * 4: start + y * line + x * 4 + 3]
    return r, g, b
rows = []
for y in range(height):
    rows.append(b'\0' + b''.join(bytes(pixel(x, y)) for x in range(width)))
def chunk(kind, body):
    return struct.pack('>I', len(body)) + kind + body + struct.pack('>I', zlib.crc32(kind + body) & 0xffffffff)
open(sys.argv[2], 'wb').write(b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, 8, 2, 0, 0, 0)) +
                              chunk(b'IDAT', zlib.compress(b''.join(rows), 6)) + chunk(b'IEND', b''))
# The window keeps its arrangement in proportion: the first line of each list, in the window's twips
# (7590 across), must hold dark text on the list's light ground.
scale = width / 7590
def has_text(left, top, right, bottom):
    dark = sum(1 for y in range(int(top * scale), int(bottom * scale)) for x in range(int(left * scale), int(right * scale))
               if sum(pixel(x, y)) < 400)
    return dark >= 20
games = has_text(160, 1700, 3000, 1900)
mods = has_text(160, 2540, 1800, 2760)
print('game list shows a line:', games, '- mod list shows a line:', mods)
sys.exit(0 if games and mods else 1)
EOF

echo "A second start finds the window and refuses"
second=0
VANTREL_MESSAGES=stderr wine "$work/Vantrel/vantrel.exe" >"$work/second.log" 2>&1 || second=$?
grep -q 'Another instance of the Vantrel is already running!' "$work/second.log" ||
  fail "the second start did not find the first (status $second): $(cat "$work/second.log")"
kill -0 "$vantrel" || fail "the first window ended"

wine "$probe" Vantrel 5 close >/dev/null
for _ in $(seq 100); do kill -0 "$vantrel" 2>/dev/null || break; sleep 0.1; done
kill -0 "$vantrel" 2>/dev/null && fail "the main window did not close"
vantrel=
echo "The Windows program passed under Wine"
