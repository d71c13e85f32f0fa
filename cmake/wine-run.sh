#!/bin/sh
# Runs a Windows executable under Wine in the build tree's own prefix.
# ctest keeps one wineserver alive for the whole run (see the wine_server
# fixture), so each test executable attaches to it instead of booting Wine,
# and to the X display that the fixture gave the prefix, if it gave one.
set -eu
export WINEPREFIX="${WINEPREFIX:-${RIVELO_WINEPREFIX:-$PWD/wineprefix}}"
export WINEDEBUG="${WINEDEBUG:--all}"
if [ -z "${DISPLAY:-}" ] && [ -s "$WINEPREFIX/xvfb.display" ]; then
    export DISPLAY=":$(cat "$WINEPREFIX/xvfb.display")"
fi
exec /usr/lib/wine/wine64 "$@"
