#!/usr/bin/env bash
# Benchmark: whole runs of midi2varn beside midi2abc on generated files.
#
#   bench/run.sh [SIZES...]        default sizes: 10000 100000 1000000
#
# Builds midi2varn and the generator in Release (build/bench-release),
# writes the MIDI files of the given note counts, type 0 and type 1, into
# build/bench, and times each program on each file with hyperfine (median
# wall time) and /usr/bin/time (peak resident memory). Outputs go to files
# in build/bench, standard output to /dev/null. Needs cmake, ninja (or make),
# hyperfine, GNU time and midi2abc:
#   sudo apt-get install cmake ninja-build hyperfine time abcmidi
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/bench-release
work=$root/build/bench
sizes=("$@")
[ ${#sizes[@]} -eq 0 ] && sizes=(10000 100000 1000000)

missing=0
for tool in cmake hyperfine midi2abc; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "missing: $tool" >&2
        missing=1
    fi
done
if [ ! -x /usr/bin/time ]; then
    echo "missing: /usr/bin/time" >&2
    missing=1
fi
if [ $missing -ne 0 ]; then
    echo "install with: sudo apt-get install cmake ninja-build hyperfine time abcmidi" >&2
    exit 1
fi

generator=()
command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)
cmake -S "$root" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release -DMIDI2VARN_TESTS=OFF >/dev/null
cmake --build "$build" --target midi2varn make_bench_midi >/dev/null
varn=$build/midi2varn
mkdir -p "$work"

# Runs per measurement: fewer for the large files.
runs_for() {
    if [ "$1" -ge 1000000 ]; then echo 3; elif [ "$1" -ge 100000 ]; then echo 5; else echo 10; fi
}

# Median wall time in seconds of one command line (no shell involved).
median() {
    local runs=$1
    shift
    local csv
    csv=$(mktemp)
    hyperfine -N --style none --warmup 1 --runs "$runs" --export-csv "$csv" "$*" >/dev/null 2>&1
    awk -F, 'NR == 2 { print $4 }' "$csv"
    rm -f "$csv"
}

# Peak resident memory in KiB of one command line.
peak() {
    /usr/bin/time -f '%M' -o "$work/time.txt" "$@" >/dev/null 2>&1 || true
    tail -n 1 "$work/time.txt"
}

declare -A notes secs
configs=("midi2abc" "midi2varn" "midi2varn -p 3 -e" "midi2varn -l -p 4")

printf '%-22s %-20s %10s %10s %10s %12s\n' "file" "program" "median s" "peak MiB" "bytes/note" "vs midi2abc"
for n in "${sizes[@]}"; do
    for type in 1 0; do
        file=$work/bench-$n-t$type.mid
        count=$("$build/bench/make_bench_midi" "$n" "$type" "$file" | sed -E 's/.*: ([0-9]+) notes.*/\1/')
        runs=$(runs_for "$n")
        for config in "${configs[@]}"; do
            if [ "$config" = midi2abc ]; then
                cmd=(midi2abc "$file" -o "$work/out.abc")
            else
                read -r -a opts <<<"${config#midi2varn}"
                cmd=("$varn" ${opts[@]+"${opts[@]}"} "$file" "$work/out.txt")
            fi
            t=$(median "$runs" "${cmd[@]}")
            kb=$(peak "${cmd[@]}")
            key="$n-$type-$config"
            secs[$key]=$t
            notes[$n-$type]=$count
            ratio=""
            if [ "$config" != midi2abc ]; then
                ratio=$(awk -v a="$t" -v b="${secs[$n-$type-midi2abc]}" 'BEGIN { printf "%.2fx", a / b }')
            fi
            printf '%-22s %-20s %10.3f %10.1f %10.1f %12s\n' "$(basename "$file")" "$config" "$t" \
                "$(awk -v k="$kb" 'BEGIN { print k / 1024 }')" \
                "$(awk -v k="$kb" -v c="$count" 'BEGIN { print k * 1024 / c }')" "$ratio"
        done
    done
done

# Growth: time of each size against the size ten times smaller.
echo
echo "growth (time of 10x the notes / time):"
for type in 1 0; do
    for config in "${configs[@]}"; do
        line=""
        for ((i = 1; i < ${#sizes[@]}; ++i)); do
            small=${sizes[$((i - 1))]}
            big=${sizes[$i]}
            a=${secs[$big-$type-$config]}
            b=${secs[$small-$type-$config]}
            notesA=${notes[$big-$type]}
            notesB=${notes[$small-$type]}
            line+=$(awk -v a="$a" -v b="$b" -v na="$notesA" -v nb="$notesB" -v s="$small" -v l="$big" \
                'BEGIN { printf "  %s->%s: %.2fx time for %.1fx notes", s, l, a / b, na / nb }')
        done
        printf 'type %s %-20s%s\n' "$type" "$config" "$line"
    done
done
