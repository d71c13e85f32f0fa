#!/bin/sh
# Instructions per call of each codec operation, of the deep copy that bounds
# the decode from below, and of the peers, counted by callgrind: a
# cross-check of the benchmark's time ratios that does not depend on how
# loaded the machine is. Needs valgrind and the host-release build of
# rivelo_bench (scripts/evidence.sh and scripts/test.sh build it).
#
#   scripts/count-instructions.sh [BENCH]           every row
#   scripts/count-instructions.sh --check [BENCH]   the codec's rows and the
#       copy against scripts/instruction-baseline.txt; fails when one grew by
#       more than 3 %, or did not finish within a minute
#   scripts/count-instructions.sh --update [BENCH]  rewrites that baseline
#
# A change that makes the codec dearer on purpose updates the baseline in the
# same commit and says why in its message.
set -eu
cd "$(dirname "$0")/.."
mode=all
case ${1:-} in
    --check) mode=check; shift ;;
    --update) mode=update; shift ;;
esac
bench=${1:-build/host-release/bench/rivelo_bench}
baseline=scripts/instruction-baseline.txt
tolerance_percent=3
# A row takes seconds; a cost that grew with the input (a writer that zero
# fills its whole vector on every write) would otherwise run for hours.
row_seconds=60
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Instructions per call of function while benchmark name runs, or
# "unfinished". A fixed number of iterations, one per repetition, so that the
# count does not depend on how long the calls took: the same binary gives the
# same figure on any load.
count() {
    if ! LD_BIND_NOW=1 timeout "$row_seconds" valgrind --tool=callgrind \
        --callgrind-out-file="$work/out" --toggle-collect="*$2(*" \
        "$bench" --benchmark_filter="^$1\$" \
        --benchmark_repetitions=20 --benchmark_min_time=0 \
        --benchmark_enable_random_interleaving=false >/dev/null 2>&1; then
        echo unfinished
        return
    fi
    # Only the counted function is collected, so the program's total is its
    # inclusive count; its calls are summed over its callers, the lines
    # marked "<" above its own in the caller tree.
    callgrind_annotate --inclusive=yes --tree=caller "$work/out" 2>/dev/null |
        awk -v counted="$2(" '
        /PROGRAM TOTALS/ { total = $1; gsub(",", "", total) }
        /^$/ { pending = 0 }
        / < / { match($0, /\(([0-9,]+)x\)/); n = substr($0, RSTART + 1, RLENGTH - 3)
                gsub(",", "", n); pending += n }
        / \*  / && index($0, counted) { calls = pending }
        END { printf "%.0f\n", total / calls }'
}

# benchmark name, the function whose calls are counted, and whether the
# check holds it to the baseline (the codec's own rows and its floor)
rows() {
    cat <<'LIST'
HostEvent/Encode StandardMethodCodec::EncodeSuccessEnvelope checked
HostEvent/Decode StandardMethodCodec::DecodeResponseEnvelope checked
Writes/OneVector StandardCodecSerializer::WriteValue checked
Nested/Encode StandardMethodCodec::EncodeSuccessEnvelope checked
Nested/MsgpackPack MsgpackPackOnce peer
Nested/NlohmannEncode NlohmannEncodeOnce peer
Nested/Decode StandardMethodCodec::DecodeResponseEnvelope checked
Nested/Copy NestedCopyOnce checked
Nested/MsgpackUnpack MsgpackUnpackOnce peer
Nested/NlohmannDecode NlohmannDecodeOnce peer
LIST
}

if [ "$mode" = all ]; then
    rows | while read -r name function _; do
        printf '%-24s %10s instructions per call\n' "$name" "$(count "$name" "$function")"
    done
    exit 0
fi

rows | while read -r name function kind; do
    if [ "$kind" = checked ]; then
        printf '%s %s\n' "$name" "$(count "$name" "$function")"
    fi
done >"$work/counts"

if [ "$mode" = update ]; then
    if grep -q unfinished "$work/counts"; then
        grep unfinished "$work/counts"
        echo "instruction counts: a row did not finish in $row_seconds s; baseline kept"
        exit 1
    fi
    {
        echo "# Instructions per call, written by scripts/count-instructions.sh --update;"
        echo "# the check fails when one grows by more than $tolerance_percent %."
        cat "$work/counts"
    } >"$baseline"
    cat "$baseline"
    exit 0
fi

awk -v tolerance="$tolerance_percent" -v seconds="$row_seconds" '
    FNR == NR { if ($1 !~ /^#/) base[$1] = $2; next }
    {
        if (!($1 in base)) { printf "%-18s %10s  no baseline\n", $1, $2; failed = 1; next }
        if ($2 == "unfinished") {
            printf "%-18s %10s  baseline %10s  not finished within %d s\n", $1, $2, base[$1], seconds
            failed = 1; next
        }
        change = 100 * ($2 - base[$1]) / base[$1]
        over = change > tolerance
        printf "%-18s %10s  baseline %10s  %+6.2f %%%s\n", $1, $2, base[$1], change,
               over ? "  MORE THAN +" tolerance " %" : ""
        failed = failed || over
    }
    END {
        if (failed) { print "instruction counts: FAILED"; exit 1 }
        print "instruction counts: within " tolerance " % of the baseline"
    }' "$baseline" "$work/counts"
