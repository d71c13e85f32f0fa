#!/bin/sh
# start PREFIX: boots the prefix if needed and leaves a persistent wineserver.
# stop PREFIX: ends that wineserver and every Wine process of the prefix.
# Everything Wine leaves running is detached from our output: ctest waits until
# every holder of a test's output pipe has closed it.
#
# Windows need an X display, and Wine's desktop process, started here, keeps
# the display it found: without DISPLAY, start gives the prefix an Xvfb of its
# own (a free display number chosen by Xvfb, recorded in the prefix for
# wine-run.sh) and stop ends it. The screen is large enough for a 700 x 600
# window scaled to 200 %.
set -eu
action=$1
WINEPREFIX=$2
export WINEPREFIX WINEDEBUG=-all
display_file=$WINEPREFIX/xvfb.display
pid_file=$WINEPREFIX/xvfb.pid

start_xvfb() {
    rm -f "$display_file"
    Xvfb -displayfd 3 -screen 0 2560x1600x24 -nolisten tcp 3>"$display_file" \
        </dev/null >/dev/null 2>&1 &
    echo $! >"$pid_file"
    tries=0
    while [ ! -s "$display_file" ]; do
        tries=$((tries + 1))
        if [ $tries -gt 100 ]; then
            echo "wine-server: Xvfb did not start" >&2
            exit 1
        fi
        sleep 0.1
    done
    DISPLAY=:$(cat "$display_file")
    export DISPLAY
}

case "$action" in
start)
    mkdir -p "$WINEPREFIX"
    if [ -z "${DISPLAY:-}" ]; then
        start_xvfb
    fi
    /usr/lib/wine/wineserver -p </dev/null >/dev/null 2>&1
    /usr/lib/wine/wine64 wineboot -i </dev/null >/dev/null 2>&1 || true
    ;;
stop)
    /usr/lib/wine/wineserver -k </dev/null >/dev/null 2>&1 || true
    /usr/lib/wine/wineserver -w </dev/null >/dev/null 2>&1 || true
    if [ -f "$pid_file" ]; then
        kill "$(cat "$pid_file")" 2>/dev/null || true
        rm -f "$pid_file" "$display_file"
    fi
    ;;
*)
    echo "usage: $0 start|stop PREFIX" >&2
    exit 2
    ;;
esac
