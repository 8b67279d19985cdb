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
# Leaves a process behind, as a store's stub leaves the game or its client: from a subshell that
# ends at once, so that it is orphaned as Wine's processes are. It runs FAKE_WINE_LEAVE seconds
# ("forever": until killed; its pid goes to $log.left), then records what the game folder held and
# that it ended. It runs as a program of the game's folder when FAKE_WINE_LEAVE_SHELL names a copy
# of sh there, else as one from elsewhere.
if [ -n "${FAKE_WINE_LEAVE:-}" ]; then
  ( "${FAKE_WINE_LEAVE_SHELL:-sh}" -c '
      echo $$ >"$1.left"
      [ "$2" = forever ] && exec sleep 3600
      sleep "$2"
      { [ -n "${FAKE_WINE_GAME:-}" ] && (cd "$FAKE_WINE_GAME" && find . -type f | sort | sed "s/^/left saw: /")
        echo "left ended"; } >>"$1"
    ' sh "$log" "$FAKE_WINE_LEAVE" </dev/null & )
fi
# Leaves what the first Wine process of a prefix starts and that never ends by itself here: a
# wineserver and a program of C:\windows. Their pids go to $log.housekeeping.
if [ -n "${FAKE_WINE_HOUSEKEEPING:-}" ]; then
  for name in /usr/lib/wine/wineserver64 'C:\windows\system32\services.exe'; do
    ( bash -c 'echo $$ >>"$1.housekeeping"; exec -a "$2" sleep 3600' bash "$log" "$name" </dev/null & )
  done
fi
# Kills the launcher that started it, as a forced quit would, while the game "runs" ("yes"), or sends
# it the signal named (TERM, INT, HUP) as a request to stop the game and it. Its parent is the
# launcher's keeper of the launch's processes.
if [ -n "${FAKE_WINE_KILL_LAUNCHER:-}" ]; then
  signal=$FAKE_WINE_KILL_LAUNCHER
  [ "$signal" = yes ] && signal=KILL
  kill -s "$signal" "$(sed 's/.*) //' "/proc/$PPID/stat" | cut -d' ' -f2)"
fi
# Kills the keeper between the launcher and this program, so that it never tells how this ended.
if [ -n "${FAKE_WINE_KILL_KEEPER:-}" ]; then
  kill -KILL "$PPID"
fi
# Goes on "running" for a while, then leaves a mark that it ended.
if [ -n "${FAKE_WINE_LINGER:-}" ]; then
  sleep "$FAKE_WINE_LINGER"
  echo ended >"$log.ended"
fi
exit "${FAKE_WINE_EXIT:-0}"
