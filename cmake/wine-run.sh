#!/bin/sh
# Runs a Windows test program under Wine, headless, as ctest's emulator:
#   wine-run.sh PROGRAM.exe [ARGS...]
# Wine hands a host variable WINEQT_X to the program as QT_X (plain QT_ ones are dropped), and
# QtTest writes nothing to a standard output that is not a terminal under Wine, so a test given
# "-o FILE,txt" has its log printed here once it ends.
set -u
export WINEDEBUG="${WINEDEBUG:--all}"
# No menu entries or file associations on the build machine for what the tests make.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-winemenubuilder.exe=d}"
export WINEQT_QPA_PLATFORM="${WINEQT_QPA_PLATFORM:-offscreen}"
export WINEQT_QPA_FONTDIR="${WINEQT_QPA_FONTDIR:-/usr/share/fonts/opentype/ipafont-gothic}"
log=""
previous=""
for arg in "$@"; do
    [ "$previous" = "-o" ] && case "$arg" in *,txt) log="${arg%,txt}" ;; esac
    previous="$arg"
done
[ -n "$log" ] && rm -f "$log"
wine "$@"
status=$?
[ -n "$log" ] && [ -f "$log" ] && cat "$log"
exit $status
