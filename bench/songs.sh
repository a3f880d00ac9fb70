#!/usr/bin/env bash
# Benchmark of real songs: every MIDI file of a folder converted one by one
# by an old and a new midi2varn in the same run, with the total time of
# each and the slowest file.
#
#   bench/songs.sh OLD NEW [FOLDER] [ROUNDS]
#
# OLD and NEW are midi2varn binaries; FOLDER defaults to ../shared/midi-corpus
# beside the repository, ROUNDS to 3. Each file is converted by both
# binaries in turn (the order changes every round), with default options,
# its output to a scratch file and the console to /dev/null; a file's time
# is its fastest round. Prints the totals, their ratio, and the slowest file
# for each binary.
set -euo pipefail

if [ $# -lt 2 ]; then
    echo "usage: $0 OLD NEW [FOLDER] [ROUNDS]" >&2
    exit 2
fi
old=$(realpath "$1")
new=$(realpath "$2")
root=$(cd "$(dirname "$0")/.." && pwd)
folder=${3:-$root/../shared/midi-corpus}
rounds=${4:-3}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

mapfile -d '' files < <(find "$folder" -type f -iname '*.mid' -print0 | sort -z)
if [ ${#files[@]} -eq 0 ]; then
    echo "no MIDI files in $folder" >&2
    exit 1
fi

# Nanoseconds of one conversion of a file by a binary.
time_one() {
    local start end
    start=$(date +%s%N)
    "$1" "$2" "$scratch/out.txt" >/dev/null 2>&1 || true
    end=$(date +%s%N)
    echo $((end - start))
}

declare -A best
for ((r = 0; r < rounds; ++r)); do
    for i in "${!files[@]}"; do
        f=${files[$i]}
        if (((r + i) % 2 == 0)); then order=(old new); else order=(new old); fi
        for which in "${order[@]}"; do
            bin=$old
            [ "$which" = new ] && bin=$new
            t=$(time_one "$bin" "$f")
            key=$which-$i
            if [ -z "${best[$key]:-}" ] || [ "$t" -lt "${best[$key]}" ]; then best[$key]=$t; fi
        done
    done
done

for which in old new; do
    total=0 slowest=0 slowestFile=""
    for i in "${!files[@]}"; do
        t=${best[$which-$i]}
        total=$((total + t))
        if [ "$t" -gt "$slowest" ]; then slowest=$t; slowestFile=${files[$i]}; fi
    done
    eval "total_$which=$total slowest_$which=$slowest"
    printf '%-4s total %9.1f ms over %d files, slowest %7.1f ms: %s\n' "$which" \
        "$(awk -v t="$total" 'BEGIN { print t / 1e6 }')" "${#files[@]}" \
        "$(awk -v t="$slowest" 'BEGIN { print t / 1e6 }')" "${slowestFile#"$folder"/}"
done
awk -v a="$total_new" -v b="$total_old" -v c="$slowest_new" -v d="$slowest_old" \
    'BEGIN { printf "new/old: total %.2fx, slowest file %.2fx\n", a / b, c / d }'
