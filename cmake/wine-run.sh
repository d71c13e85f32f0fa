#!/bin/sh
# Runs a Windows executable under Wine in the build tree's own prefix.
# ctest keeps one wineserver alive for the whole run (see the wine_server
# fixture), so each test executable attaches to it instead of booting Wine.
set -eu
: "${WINEPREFIX:=${RIVELO_WINEPREFIX:-$PWD/wineprefix}}"
export WINEPREFIX
export WINEDEBUG="${WINEDEBUG:--all}"
exec /usr/lib/wine/wine64 "$@"
