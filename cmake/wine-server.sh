#!/bin/sh
# start PREFIX: boots the prefix if needed and leaves a persistent wineserver.
# stop PREFIX: ends that wineserver and every Wine process of the prefix.
# Everything Wine leaves running is detached from our output: ctest waits until
# every holder of a test's output pipe has closed it.
set -eu
action=$1
WINEPREFIX=$2
export WINEPREFIX WINEDEBUG=-all
case "$action" in
start)
    mkdir -p "$WINEPREFIX"
    /usr/lib/wine/wineserver -p </dev/null >/dev/null 2>&1
    /usr/lib/wine/wine64 wineboot -i </dev/null >/dev/null 2>&1 || true
    ;;
stop)
    /usr/lib/wine/wineserver -k </dev/null >/dev/null 2>&1 || true
    /usr/lib/wine/wineserver -w </dev/null >/dev/null 2>&1 || true
    ;;
*)
    echo "usage: $0 start|stop PREFIX" >&2
    exit 2
    ;;
esac
