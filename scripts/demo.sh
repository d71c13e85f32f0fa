#!/bin/sh
# rivelo discovering a simulated LAN: run as root on Debian 12. Installs the
# packages it needs, builds the Windows configuration when it is not built,
# then hands over to scripts/demo.py (options: scripts/demo.sh --help).
set -eu
cd "$(dirname "$0")/.."

for arg in "$@"; do
    case $arg in
    -h|--help)
        if [ -x /usr/bin/python3 ]; then
            exec /usr/bin/python3 scripts/demo.py --help
        fi
        echo "usage: scripts/demo.sh [options]; run it once as root to install python3, then ask again" >&2
        exit 0
        ;;
    esac
done

if [ "$(id -u)" -ne 0 ]; then
    echo "demo: the demo makes network namespaces, which needs root: run it as root (sudo scripts/demo.sh)" >&2
    exit 10
fi

if ! scripts/install-deps.sh; then
    echo "demo: installing the Debian packages failed (scripts/install-deps.sh)" >&2
    exit 11
fi

exec /usr/bin/python3 scripts/demo.py "$@"
