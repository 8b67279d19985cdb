#!/bin/sh
# Stands in for Proton's launcher ("<Proton's folder>/proton <verb> <program> <arguments>") in tests:
# records its arguments, Steam's compatibility variables and what the game's folder (the program's)
# holds while the game "runs", then exits with the code asked for.
log=${FAKE_PROTON_LOG:?}
{
  for variable in STEAM_COMPAT_DATA_PATH STEAM_COMPAT_CLIENT_INSTALL_PATH SteamAppId WINEPREFIX; do
    eval "echo \"$variable: \${$variable-(unset)}\""
  done
  for argument in "$@"; do
    echo "arg: $argument"
  done
  if [ "$1" = waitforexitandrun ] && [ -f "$2" ]; then
    (cd "$(dirname "$2")" && find . -type f | sort | sed 's/^/file: /')
  fi
} >>"$log"
exit "${FAKE_PROTON_EXIT:-0}"
