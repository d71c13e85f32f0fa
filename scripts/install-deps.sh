#!/bin/sh
# Installs every Debian package that the builds, tests, demo and benchmarks need.
# Idempotent: packages already present are left alone, so a second run costs
# one dpkg query.
set -eu

PACKAGES="
cmake ninja-build g++ clang libclang-rt-14-dev
libgtest-dev libgmock-dev googletest libbenchmark-dev libmsgpack-cxx-dev nlohmann-json3-dev
g++-mingw-w64-x86-64-posix
wine64 xvfb xauth x11-utils imagemagick
iproute2 fping nmap valgrind
python3 python3-pytest python3-pefile
"

missing=$(for p in $PACKAGES; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || printf ' %s' "$p"
done)
[ -n "$missing" ] || exit 0

if [ "$(id -u)" -ne 0 ]; then
    echo "install-deps: these packages are missing and installing them needs root:$missing" >&2
    exit 1
fi

echo "install-deps: installing$missing"
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
# shellcheck disable=SC2086
apt-get install -y -q --no-install-recommends $missing
