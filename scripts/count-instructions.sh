#!/bin/sh
# Instructions per call of each codec operation and of its peers, counted by
# callgrind: a cross-check of the benchmark's time ratios that does not
# depend on how loaded the machine is. Needs valgrind and the host-release
# build of rivelo_bench (scripts/evidence.sh builds it).
#
#   scripts/count-instructions.sh [BENCH]
set -eu
cd "$(dirname "$0")/.."
bench=${1:-build/host-release/bench/rivelo_bench}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# benchmark name, then the function whose calls are counted
while read -r name function; do
    LD_BIND_NOW=1 valgrind --tool=callgrind --callgrind-out-file="$work/out" \
        --toggle-collect="*$function(*" "$bench" --benchmark_filter="^$name\$" \
        --benchmark_repetitions=20 --benchmark_min_time=0 --benchmark_enable_random_interleaving=false >/dev/null 2>&1
    # Only the counted function is collected, so the program's total is its
    # inclusive count; its calls are summed over its callers, the lines
    # marked "<" above its own in the caller tree.
    callgrind_annotate --inclusive=yes --tree=caller "$work/out" 2>/dev/null |
        awk -v name="$name" -v counted="$function(" '
        /PROGRAM TOTALS/ { total = $1; gsub(",", "", total) }
        /^$/ { pending = 0 }
        / < / { match($0, /\(([0-9,]+)x\)/); n = substr($0, RSTART + 1, RLENGTH - 3)
                gsub(",", "", n); pending += n }
        / \*  / && index($0, counted) { calls = pending }
        END { printf "%-24s %10.0f instructions per call (%d calls)\n", name, total / calls, calls }'
done <<'LIST'
HostEvent/Encode StandardMethodCodec::EncodeSuccessEnvelope
HostEvent/Decode StandardMethodCodec::DecodeResponseEnvelope
Nested/Encode StandardMethodCodec::EncodeSuccessEnvelope
Nested/MsgpackPack MsgpackPackOnce
Nested/NlohmannEncode NlohmannEncodeOnce
Nested/Decode StandardMethodCodec::DecodeResponseEnvelope
Nested/Copy NestedCopyOnce
Nested/MsgpackUnpack MsgpackUnpackOnce
Nested/NlohmannDecode NlohmannDecodeOnce
LIST
