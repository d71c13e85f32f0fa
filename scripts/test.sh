#!/bin/sh
# Runs every test: host unit tests under ASan+UBSan and under TSan, the
# codec's instruction counts against their baseline, the fuzz corpora
# replayed, the Windows build's unit tests under Wine, and the integration
# tests (rivelo.exe under Wine and Xvfb, in simulated LANs).
# Exits non-zero on the first failure, warning or sanitizer report.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh

JOBS=${JOBS:-$(nproc)}
START=$(date +%s)
stage() { printf '\n==== %s (at %ss)\n' "$*" "$(( $(date +%s) - START ))"; }

for preset in host-asan host-tsan; do
    stage "$preset: build and unit tests"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$JOBS"
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
        ctest --preset "$preset" -j "$JOBS"
done

stage "host-release: codec instruction counts against the baseline"
cmake --preset host-release >/dev/null
cmake --build --preset host-release -j "$JOBS" --target rivelo_bench
scripts/count-instructions.sh --check

stage "fuzz: replay the corpora"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$JOBS"
fuzz/replay.sh build/fuzz

stage "windows: build and unit tests under Wine"
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$JOBS"
ctest --preset windows

stage "integration tests"
/usr/bin/python3 -m pytest -q tests
stage "all tests passed"
