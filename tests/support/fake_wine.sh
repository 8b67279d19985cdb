#!/bin/sh
# Stands in for wine in tests: records its arguments, working folder and prefix, and what the game
# folder holds while it "runs", then exits with the code asked for.
log=${FAKE_WINE_LOG:?}
{
  echo "prefix: $WINEPREFIX"
  echo "cwd: $(pwd)"
  for argument in "$@"; do
    echo "arg: $argument"
  done
  if [ -n "${FAKE_WINE_GAME:-}" ]; then
    (cd "$FAKE_WINE_GAME" && find . -type f -print0 | sort -z | xargs -0 -r sha256sum | sed 's/^/file: /')
  fi
} >>"$log"
# Kills the launcher that started it, as a forced quit would, while the game "runs".
if [ -n "${FAKE_WINE_KILL_LAUNCHER:-}" ]; then
  kill -9 "$PPID"
fi
# Goes on "running" for a while, then leaves a mark that it ended.
if [ -n "${FAKE_WINE_LINGER:-}" ]; then
  sleep "$FAKE_WINE_LINGER"
  echo ended >"$log.ended"
fi
exit "${FAKE_WINE_EXIT:-0}"
