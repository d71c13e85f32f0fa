#!/bin/sh
# Measures what the performance and robustness claims rest on, and prints one
# table: figure, value, target or peer, ratio, and whether the target was met
# and the checks held.
#
#   scripts/evidence.sh [--soak] [--fuzz=SECONDS] [--sweeps=N] [--soak-runs=N]
#
# Always: the codec and event-path benchmarks (host-release preset), and the
# sweep timing of rivelo.exe under Wine in a simulated LAN (median of --sweeps
# runs, default 5, and one run of two sweeps at once, against the floor that
# discovery/sweep_pacing.h makes) beside one batch of echoes sent under Wine
# without rivelo, fping and nmap, all in the same namespace.
# --soak: the shutdown soak (--soak-runs drawn closes, default 50, two fixed
# ones, then five listens in one run).
# --fuzz=SECONDS: every fuzz target for SECONDS each, one after the other, on
# a copy of its seed corpus.
#
# Needs root (network namespaces). Nothing reaches a real network: every
# Windows run and every peer tool runs inside namespaces this run creates and
# checks (scripts/simlan). Logs go to build/evidence/. Exits non-zero when a
# check failed or a target was missed.
set -eu
cd "$(dirname "$0")/.."

soak=0 fuzz_seconds=0 sweeps=5 soak_runs=50
for arg in "$@"; do
    case $arg in
        --soak) soak=1 ;;
        --fuzz=*) fuzz_seconds=${arg#--fuzz=} ;;
        --sweeps=*) sweeps=${arg#--sweeps=} ;;
        --soak-runs=*) soak_runs=${arg#--soak-runs=} ;;
        *) sed -n '6s/^# \{0,1\}//p' "$0" >&2; exit 2 ;;
    esac
done

scripts/install-deps.sh
JOBS=${JOBS:-2}
out=build/evidence
rm -rf "$out"
mkdir -p "$out"
figures=$out/figures.tsv
: > "$figures"
status=0
stage() { printf '==== %s\n' "$*" >&2; }

stage "benchmarks (log: $out/bench.log)"
cmake --preset host-release >/dev/null
cmake --build --preset host-release -j "$JOBS" --target rivelo_bench >"$out/build-release.log" 2>&1
build/host-release/bench/rivelo_bench --figures="$out/bench.tsv" >"$out/bench.log" 2>&1 || status=1
cat "$out/bench.tsv" >>"$figures"

stage "sweep timing under Wine, fping and nmap (log: $out/sweep.log)"
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$JOBS" --target rivelo echo_batch >"$out/build-windows.log" 2>&1
/usr/bin/python3 bench/lan_evidence.py sweep --build build/windows --runs "$sweeps" \
    --figures "$figures" >"$out/sweep.log" 2>&1 || status=1

if [ "$soak" -eq 1 ]; then
    stage "shutdown soak (log: $out/soak.log)"
    /usr/bin/python3 bench/lan_evidence.py soak --build build/windows --runs "$soak_runs" \
        --figures "$figures" >"$out/soak.log" 2>&1 || status=1
fi

if [ "$fuzz_seconds" -gt 0 ]; then
    stage "fuzzing, $fuzz_seconds s per target (logs: $out/fuzz-*)"
    cmake --preset fuzz >/dev/null
    cmake --build --preset fuzz -j "$JOBS" >"$out/build-fuzz.log" 2>&1
    binaries=$(pwd)/build/fuzz/fuzz
    for seeds in fuzz/corpus/*/; do
        target=$(basename "$seeds")
        work=$out/fuzz-$target
        mkdir -p "$work/corpus"
        cp "$seeds"* "$work/corpus/"
        finding=none result=met
        (cd "$work" && "$binaries/$target" -max_total_time="$fuzz_seconds" \
            -malloc_limit_mb=64 -print_final_stats=1 corpus >run.log 2>&1) ||
            finding="see $work/run.log" result=MISSED
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/run.log")
        cov=$(grep -o 'cov: [0-9]*' "$work/run.log" | tail -n 1 | cut -d' ' -f2)
        printf 'fuzz %s, %s s\t%s runs, cov %s\tno crash, leak or check failure\t%s\t%s\n' \
            "$target" "$fuzz_seconds" "${runs:-?}" "${cov:-?}" "findings: $finding" "$result" >>"$figures"
    done
fi

! grep -q 'MISSED$' "$figures" || status=1
printf '\n%s, %s, %s\n\n' "$(hostname)" "$(date -u '+%Y-%m-%d %H:%M UTC')" \
    "$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//'), $(nproc) cores"
printf 'figure\tvalue\ttarget or peer\tratio\tresult\n' | cat - "$figures" | awk -F'\t' '
    { for (i = 1; i <= 5; i++) { cell[NR, i] = $i; if (length($i) > width[i]) width[i] = length($i) } }
    # Row 0 is the line of dashes under the head.
    function row(r,    i, line, text) {
        line = "|"
        for (i = 1; i <= 5; i++) {
            text = cell[r, i]
            if (r == 0) { text = sprintf("%" width[i] "s", ""); gsub(/ /, "-", text) }
            line = line sprintf(" %-" width[i] "s |", text)
        }
        print line
    }
    END { row(1); row(0); for (r = 2; r <= NR; r++) row(r) }'
exit $status
