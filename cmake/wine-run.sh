#!/bin/sh
# Runs a Windows program under Wine for ctest: wine-run.sh <folder of DLLs> <program> [arguments].
# Wine keeps the host's QT_* variables from Windows programs, as they are meant for the host's Qt,
# and hands WINEQT_* on to them as QT_*: the tests' Qt settings take that way.
dlls=$1
shift
# ctest reads the output: without this QtTest writes to the debugger's channel instead.
export QT_FORCE_STDERR_LOGGING=${QT_FORCE_STDERR_LOGGING:-1}
for name in $(env | sed -n 's/^\(QT_[A-Za-z0-9_]*\)=.*/\1/p'); do
  eval "export WINE$name=\"\$$name\""
done
WINEPATH="Z:$dlls${WINEPATH:+;$WINEPATH}" exec wine "$@"
