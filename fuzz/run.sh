#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time.
# Fails on any finding (crash, sanitizer report, timeout, memory blow-up).
#
#   fuzz/run.sh                      every target for its share of 120 s: the
#                                    pipeline and the options 120 s each, the
#                                    tune reader (a smaller unit) half of that,
#                                    the departure tracer and the page's module
#                                    (both behind the pipeline's code, which
#                                    its own run covers) a quarter each
#   fuzz/run.sh 120                  the same (what CI runs)
#   fuzz/run.sh 36000 PipelineFuzzer one target for ten hours
#   FUZZ_CHEAP=1 fuzz/run.sh 36000 PipelineFuzzer
#                                    the same with UndefinedBehaviorSanitizer
#                                    only (no AddressSanitizer): several times
#                                    more inputs per second, for long runs
#
# The corpus each target grows is kept in build/fuzz/work/<target> and reused
# by the next run; findings land in build/fuzz/artifacts/. Seeds: fuzz/corpus
# and, where present, the shared real-world files in ../shared/midi-corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

seconds=${1:-120}
shift || true
targets=("$@")
named=${#targets[@]}
((named)) || targets=(PipelineFuzzer OptionsFuzzer TuneReaderFuzzer DepartureFuzzer ModuleFuzzer)

build=$root/build/fuzz
sanitizers=address,undefined
if [[ -n ${FUZZ_CHEAP:-} ]]; then
    build=$root/build/fuzz-cheap
    sanitizers=undefined
fi
cxx=${CXX_FUZZ:-$(command -v clang++ || command -v clang++-14 || true)}
if [[ -z $cxx ]]; then
    echo "clang++ not found (Debian: apt-get install clang libclang-rt-14-dev)" >&2
    exit 2
fi
cmake -S fuzz -B "$build" -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DFUZZ_SANITIZERS="$sanitizers" >/dev/null
cmake --build "$build" -j2 --target "${targets[@]}"

# Real-world files as pipeline seeds, behind a neutral settings prefix
# (the first 8 input bytes choose the settings, see PipelineFuzzer.cpp).
shared=$root/../shared/midi-corpus
extra=$build/seeds-shared
rm -rf "$extra"
mkdir -p "$extra"
if [[ -d $shared ]]; then
    i=0
    while IFS= read -r -d '' file; do
        { printf '\0\0\0\0\0\0\0\0'; cat "$file"; } >"$extra/$i.mid"
        i=$((i + 1))
    done < <(find "$shared" -type f -iname '*.mid' -size -5k -print0)
fi

# The page's module: the pipeline's MIDI files converted with the piano roll
# (first byte 1, no arguments) and the macro texts previewed (first byte 3);
# see ModuleFuzzer.cpp.
module=$build/seeds-module
rm -rf "$module"
mkdir -p "$module"
for file in "$root"/fuzz/corpus/pipeline/*; do
    { printf '\1\0'; tail -c +9 "$file"; } >"$module/convert-${file##*/}"
done
for file in "$root"/fuzz/corpus/tunes/*; do
    { printf '\3'; cat "$file"; } >"$module/preview-${file##*/}"
done

artifacts=$build/artifacts
mkdir -p "$artifacts"

status=0
for target in "${targets[@]}"; do
    case $target in
        PipelineFuzzer) seeds=("$root/fuzz/corpus/pipeline" "$extra"); share=2 ;;
        OptionsFuzzer) seeds=("$root/fuzz/corpus/options"); share=2 ;;
        TuneReaderFuzzer) seeds=("$root/fuzz/corpus/tunes"); share=1 ;;
        DepartureFuzzer) seeds=("$root/fuzz/corpus/pipeline" "$extra"); share=0.5 ;;
        ModuleFuzzer) seeds=("$module"); share=0.5 ;;
        *) echo "unknown target $target" >&2; exit 2 ;;
    esac
    # A target named on the command line gets the whole time.
    time=$seconds
    ((named)) || time=$(awk "BEGIN { print int($seconds * $share / 2) }")
    work=$build/work/$target
    mkdir -p "$work"
    echo "== $target for ${time}s"
    # One process on one core; a single input may take at most 20 s and
    # the whole process 2 GB (sanitizer shadow included), no single
    # allocation above 256 MB.
    if ! "$build/$target" "$work" "${seeds[@]}" \
        -max_total_time="$time" -timeout=20 -rss_limit_mb=2048 -malloc_limit_mb=256 \
        -max_len=4096 -print_final_stats=1 -artifact_prefix="$artifacts/$target-" \
        2> >(tee "$build/$target.log" | grep -E '^(#[0-9]+ +(INITED|DONE)|==|SUMMARY|stat::number_of_executed_units|Done)' >&2); then
        echo "$target: FINDING, see $build/$target.log and $artifacts" >&2
        status=1
    fi
done
exit $status
