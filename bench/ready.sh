#!/usr/bin/env bash
# Benchmark of the web page on big files: in headless Chromium, the time
# from choosing a file until the page is ready (document.body.dataset.state
# "ready": blocks, summary, report summary and the roll's first view on
# show), beside the native program's whole run on the same file, in the
# same run, on the example and the generated 100k- and 1M-note files.
#
#   bench/ready.sh [RUNS]        default: 5 timed runs after the first
#
# Builds the site (cmake --preset web, into build/web) and the native
# program and generator in Release (build/bench-release), writes the type-1
# files into build/bench and prints, per file, in milliseconds: the page's
# first time in a fresh tab (the worker started with the page), the median
# of the times after it, the native program's median, their ratio, and the
# page's JS heap after the last choice (MB).
# Needs emscripten, node-acorn, chromium and npm ci in tests/web.
set -euo pipefail

runs=${1:-5}
tools=(cmake node)
targets=(midi2varn make_bench_midi)
# shellcheck source=web-setup.sh
source "$(dirname "$0")/web-setup.sh"

files=("$root/examples/example.mid")
for notes in 100000 1000000; do
    file=$work/bench-$notes-t1.mid
    [ -f "$file" ] || "$build/bench/make_bench_midi" "$notes" 1 "$file" >/dev/null
    files+=("$file")
done

json=$(node "$root/bench/ready.js" "$root/build/web" "$runs" "${files[@]}")

# The native program's median whole run, in milliseconds, writing its file.
native_ms() {
    local times=() start end
    "$build/midi2varn" "$1" "$work/ready-bench-out.txt" >/dev/null 2>&1 || true
    for _ in $(seq "$runs"); do
        start=$(date +%s%N)
        "$build/midi2varn" "$1" "$work/ready-bench-out.txt" >/dev/null 2>&1 || true
        end=$(date +%s%N)
        times+=("$(( (end - start) / 1000 ))")
    done
    printf '%s\n' "${times[@]}" | sort -n | awk '{ t[NR] = $1 } END {
        m = NR % 2 ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2; printf "%.1f", m / 1000 }'
}

printf '%-22s %12s %12s %12s %11s %9s\n' "file" "page first" "page median" "native" "page/native" "heap MB"
for file in "${files[@]}"; do
    name=$(basename "$file")
    native=$(native_ms "$file")
    node -e '
        const [json, name, native] = process.argv.slice(1);
        const r = JSON.parse(json).find((x) => x.name === name);
        const f = (ms) => ms.toFixed(1).padStart(12);
        console.log(name.padEnd(22) + " " + f(r.first) + " " + f(r.median) + " " + f(Number(native)) + " " +
                    (r.median / native).toFixed(1).padStart(10) + "x " + r.heapMB.toFixed(0).padStart(9));
    ' "$json" "$name" "$native"
done
