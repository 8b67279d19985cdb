#!/usr/bin/env bash
# Builds Vantrel and starts it against the user's Wine prefix ($WINEPREFIX, else ~/.wine).
# Installs what is missing first. Arguments are passed to the program (for example -SILENT MyMod).
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/packages.sh

ensure_packages cmake ninja-build g++ qt6-base-dev qt6-svg-dev libfontconfig-dev libarchive-dev wine

cmake --preset app >/dev/null
cmake --build --preset app
exec build/app/src/vantrel "$@"
