#!/bin/sh
# Replays the seed corpus of every fuzz target once: replay.sh BUILD_DIR
# (the fuzz preset's build directory). Fails on the first crash, sanitizer
# report or missing target binary. The codec target checks the decode memory
# bound itself on every input; the per-allocation limit here must still
# admit a valid 1 MiB input (a list of a million nulls reserves 56 MB).
set -eu
build=${1:?usage: replay.sh BUILD_DIR}
here=$(cd "$(dirname "$0")" && pwd)

status=0
for corpus in "$here"/corpus/*/; do
    target=$(basename "$corpus")
    binary="$build/fuzz/$target"
    if [ ! -x "$binary" ]; then
        echo "replay: no binary $binary for corpus $corpus" >&2
        exit 1
    fi
    if "$binary" -runs=0 -malloc_limit_mb=64 "$corpus" >"$build/fuzz/$target.replay.log" 2>&1; then
        echo "replay: $target: $(ls "$corpus" | wc -l) inputs ok"
    else
        echo "replay: $target FAILED, see $build/fuzz/$target.replay.log" >&2
        tail -n 40 "$build/fuzz/$target.replay.log" >&2
        status=1
    fi
done
exit $status
