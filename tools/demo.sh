#!/usr/bin/env bash
# Shows a launch from end to end without the games: a throw-away Wine prefix holding both games'
# folders (a few plain files), a registry naming them, a sample mod, and a stand-in for wine that
# shows the command line it was given and the mod files it finds in the game folder.
# Installs what is missing, builds Vantrel and starts it against that prefix.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/packages.sh

ensure_packages cmake ninja-build g++ qt6-base-dev qt6-svg-dev libfontconfig-dev libarchive-dev x11-utils
cmake --preset app >/dev/null
cmake --build --preset app

demo=$(mktemp -d /tmp/vantrel-demo.XXXXXX)
prefix="$demo/prefix"
generals="$prefix/drive_c/Program Files/EA Games/Command and Conquer Generals"
zerohour="$prefix/drive_c/Program Files/EA Games/Command & Conquer Generals Zero Hour"
mkdir -p "$prefix/dosdevices" "$generals/Data/INI" "$generals/Data/Maps" "$zerohour/Data/INI" \
  "$prefix/drive_c/Mods/Sample/Maps" "$demo/home"
ln -s ../drive_c "$prefix/dosdevices/c:"
for game in "$generals" "$zerohour"; do
  echo "stand-in game" >"$game/generals.exe"
  echo "stand-in map editor" >"$game/worldbuilder.exe"
  echo "the game's own settings" >"$game/Data/INI/GameData.ini"
done
echo "the game's own map" >"$generals/Data/Maps/Tournament Desert.map"
echo "a map of the sample mod" >"$prefix/drive_c/Mods/Sample/Maps/Sample Valley.map"
echo "the sample mod's settings" >"$prefix/drive_c/Mods/Sample/GameData.ini"
echo "BIG" >"$prefix/drive_c/Mods/Sample/Sample.big"

cat >"$prefix/system.reg" <<'REG'
WINE REGISTRY Version 2
;; All keys relative to \\Machine

#arch=win32

[Software\\Electronic Arts\\EA Games\\Generals] 1700000000
"InstallPath"="C:\\Program Files\\EA Games\\Command and Conquer Generals\\"

[Software\\Electronic Arts\\EA Games\\Command and Conquer Generals Zero Hour] 1700000000
"InstallPath"="C:\\Program Files\\EA Games\\Command & Conquer Generals Zero Hour\\"
REG

printf '%s\r\n' \
  'Location=C:\Mods\Sample\Sample.big' \
  '[Folder]' \
  'Source=C:\Mods\Sample\Maps' \
  'Destination=C:\Program Files\EA Games\Command and Conquer Generals\Data' \
  '[Folder]' \
  'Source=C:\Mods\Sample\GameData.ini' \
  'Destination=C:\Program Files\EA Games\Command and Conquer Generals\Data\INI' >"$demo/home/Sample.vtl"

# The stand-in for wine: shows what it was asked to run and what the game folder holds meanwhile.
cat >"$demo/fake-wine" <<'WINE'
#!/usr/bin/env bash
program=$1
shift
host=$(printf '%s' "$program" | sed -e 's|^[Cc]:|'"$WINEPREFIX"'/drive_c|' -e 's|\\|/|g')
folder=$(dirname "$host")
report="The launcher started: $program $*

Game folder while the game runs:
$(cd "$folder" && find . -path ./generals.exe -prune -o -type f -print | sort)

Close this window to end the \"game\"; the launcher then restores the folder."
if [ -n "${DISPLAY:-}" ] && command -v xmessage >/dev/null; then
  xmessage -center -title "Stand-in game" "$report"
else
  printf '%s\n' "$report"
fi
WINE
chmod +x "$demo/fake-wine"

echo "Demo prefix: $prefix"
echo "Pick the sample mod, press Start Game, close the stand-in game's window, and look at the"
echo "game folder: it is exactly as before."
WINEPREFIX="$prefix" VANTREL_HOME="$demo/home" WINE="$demo/fake-wine" build/app/src/vantrel "$@" || true
echo
echo "Game folder after the launch:"
(cd "$generals" && find . -type f | sort)
rm -rf "$demo"
