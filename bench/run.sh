#!/usr/bin/env bash
# Benchmark: whole runs of midi2varn beside midi2abc (and midicsv) on
# generated files.
#
#   bench/run.sh [SIZES...]        default sizes: 10000 100000 1000000
#
# Builds midi2varn and the generator in Release (build/bench-release) and
# writes the MIDI files of the given note counts, type 1 and type 0, into
# build/bench. For each file it runs every program once under /usr/bin/time
# (peak resident memory; this run is also the warm-up), then times them in
# rounds with hyperfine: each round runs every program once, in turn, and
# the table shows the median wall time over the rounds (10 rounds below
# 100000 notes, 7 below 1000000, 5 from there). The programs: midi2abc,
# midicsv when installed, and midi2varn with its default options and with
# -p 3 -e. Their output files go to build/bench, standard output to
# /dev/null. A last section shows how time and memory grow from one size
# to the next.
#
# BENCH_CHANNELS=N spreads the notes over N MIDI channels (5 to 16; the
# generator's own layout uses 5) and names the files bench-SIZE-tTYPE-cN.mid.
# midi2varn cuts a channel's tune after 4,950,000 characters, about a
# million notes, so a file of ten million notes needs 16 channels:
#
#   BENCH_CHANNELS=16 bench/run.sh 1000000 10000000
#
# Needs cmake, ninja (or make), hyperfine, GNU time and midi2abc; midicsv is
# optional:
#   sudo apt-get install cmake ninja-build hyperfine time abcmidi
#   sudo apt-get install midicsv
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/bench-release
work=$root/build/bench
sizes=("$@")
[ ${#sizes[@]} -eq 0 ] && sizes=(10000 100000 1000000)
for n in "${sizes[@]}"; do
    if ! [[ $n =~ ^[1-9][0-9]*$ ]]; then
        echo "not a note count: $n" >&2
        exit 2
    fi
done
channels=${BENCH_CHANNELS:-}
if [ -n "$channels" ] && ! [[ $channels =~ ^([5-9]|1[0-6])$ ]]; then
    echo "BENCH_CHANNELS must be 5 to 16: $channels" >&2
    exit 2
fi

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
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

configs=(midi2abc)
command -v midicsv >/dev/null 2>&1 && configs+=(midicsv)
configs+=("midi2varn" "midi2varn -p 3 -e")

# The machine, so that tables from different computers are not mixed up.
cpu=$(lscpu 2>/dev/null | sed -n 's/^Model name:[[:space:]]*//p' | head -n 1 || true)
[ -n "$cpu" ] || cpu=$(sed -n 's/^model name[[:space:]]*:[[:space:]]*//p' /proc/cpuinfo 2>/dev/null | head -n 1 || true)
memory=$(awk '/^MemTotal:/ { printf "%.1f GiB", $2 / 1048576 }' /proc/meminfo 2>/dev/null || true)
echo "machine: ${cpu:-unknown CPU}, $(nproc) cores, ${memory:-unknown} memory"

# Rounds per file: fewer for the large files.
rounds_for() {
    if [ "$1" -ge 1000000 ]; then echo 5; elif [ "$1" -ge 100000 ]; then echo 7; else echo 10; fi
}

# The command line of a program on $file, in the array cmd.
command_for() {
    case $1 in
    midi2abc) cmd=(midi2abc "$file" -o "$work/out.abc") ;;
    midicsv) cmd=(midicsv "$file" "$work/out.csv") ;;
    *)
        local opts
        read -r -a opts <<<"${1#midi2varn}"
        cmd=("$varn" ${opts[@]+"${opts[@]}"} "$file" "$work/out.txt")
        ;;
    esac
}

# Wall time in seconds of one run of a command line (no shell involved), in
# $seconds. hyperfine splits the line itself, hence the quoting.
time_once() {
    local line
    line=$(printf '%q ' "$@")
    if ! hyperfine -N --style none --runs 1 --export-csv "$scratch/time.csv" "${line% }" \
        >/dev/null 2>"$scratch/hyperfine.err"; then
        cat "$scratch/hyperfine.err" >&2
        exit 1
    fi
    # The median column, counted from the end: the command may hold commas.
    seconds=$(awk -F, 'NR == 2 { print $(NF - 4) }' "$scratch/time.csv")
}

# Peak resident memory in KiB of one run of a command line, in $kib.
peak_once() {
    if ! /usr/bin/time -f '%M' -o "$scratch/time.txt" "$@" >/dev/null 2>"$scratch/run.err"; then
        echo "failed: $*" >&2
        cat "$scratch/run.err" >&2
        exit 1
    fi
    kib=$(tail -n 1 "$scratch/time.txt")
}

median() {
    printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# The files first, so that the table below runs without pauses.
declare -A notes secs peaks
suffix=""
extra=()
if [ -n "$channels" ]; then
    suffix=-c$channels
    extra=("$channels")
fi
for n in "${sizes[@]}"; do
    for type in 1 0; do
        file=$work/bench-$n-t$type$suffix.mid
        made=$("$build/bench/make_bench_midi" "$n" "$type" "$file" ${extra[@]+"${extra[@]}"})
        echo "${made#"$work"/}, $(rounds_for "$n") rounds"
        notes[$n-$type]=$(sed -E 's/.*: ([0-9]+) notes.*/\1/' <<<"$made")
    done
done
echo

printf '%-24s %-20s %10s %10s %10s %12s\n' "file" "program" "median s" "peak MiB" "bytes/note" "vs midi2abc"
for n in "${sizes[@]}"; do
    for type in 1 0; do
        file=$work/bench-$n-t$type$suffix.mid
        count=${notes[$n-$type]}
        for config in "${configs[@]}"; do
            command_for "$config"
            peak_once "${cmd[@]}"
            peaks[$n-$type-$config]=$kib
        done
        # Each round times every program once, starting one further along
        # each time, so that no program always follows the same one.
        rounds=$(rounds_for "$n")
        declare -A times=()
        for ((r = 0; r < rounds; ++r)); do
            for ((i = 0; i < ${#configs[@]}; ++i)); do
                config=${configs[$(((r + i) % ${#configs[@]}))]}
                command_for "$config"
                time_once "${cmd[@]}"
                times[$config]+=" $seconds"
            done
        done
        for config in "${configs[@]}"; do
            # shellcheck disable=SC2086 # the times are a list of numbers
            t=$(median ${times[$config]})
            secs[$n-$type-$config]=$t
            kib=${peaks[$n-$type-$config]}
            printf '%-24s %-20s %10.4f %10.1f %10.1f %11.2fx\n' "$(basename "$file")" "$config" "$t" \
                "$(awk -v k="$kib" 'BEGIN { print k / 1024 }')" \
                "$(awk -v k="$kib" -v c="$count" 'BEGIN { print k * 1024 / c }')" \
                "$(awk -v a="$t" -v b="${secs[$n-$type-midi2abc]}" 'BEGIN { print a / b }')"
        done
        unset times
    done
done

# Growth: time and peak memory of each size against the size before it.
if [ ${#sizes[@]} -gt 1 ]; then
    echo
    echo "growth from one size to the next (time, peak memory, notes):"
    for type in 1 0; do
        for config in "${configs[@]}"; do
            line=""
            for ((i = 1; i < ${#sizes[@]}; ++i)); do
                small=${sizes[$((i - 1))]}
                big=${sizes[$i]}
                line+=$(awk -v ta="${secs[$big-$type-$config]}" -v tb="${secs[$small-$type-$config]}" \
                    -v ma="${peaks[$big-$type-$config]}" -v mb="${peaks[$small-$type-$config]}" \
                    -v na="${notes[$big-$type]}" -v nb="${notes[$small-$type]}" -v s="$small" -v l="$big" \
                    'BEGIN { printf "  %s->%s: %.2fx time, %.2fx memory for %.1fx notes", s, l, ta / tb, ma / mb, na / nb }')
            done
            printf 'type %s %-20s%s\n' "$type" "$config" "$line"
        done
    done
fi
