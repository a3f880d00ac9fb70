#!/usr/bin/env bash
# Benchmark of the web page: conversions in headless Chromium beside the
# native program, on the example and the generated 100k-note files.
#
#   bench/web.sh [RUNS]          default: 10 timed runs after the first
#
# Builds the site (cmake --preset web, into build/web) and the native
# program and generator in Release (build/bench-release), writes the 100k-
# note files of type 1 and 0 into build/bench and prints, per file, in
# milliseconds: the hook's first call (it starts the worker), the median of
# the hook's calls after it, the median of the page's conversions after a
# control changed (until the result is shown), the native program's median
# whole run (hyperfine), and the ratio of the hook's median to it.
# Needs emscripten, node-acorn, chromium, hyperfine and npm ci in tests/web.
set -euo pipefail

runs=${1:-10}
tools=(cmake hyperfine node)
targets=(midi2varn make_bench_midi)
# shellcheck source=web-setup.sh
source "$(dirname "$0")/web-setup.sh"

files=("$root/examples/example.mid")
for type in 1 0; do
    file=$work/bench-100000-t$type.mid
    "$build/bench/make_bench_midi" 100000 "$type" "$file" >/dev/null
    files+=("$file")
done

json=$(node "$root/bench/web.js" "$root/build/web" "$runs" "${files[@]}")

# The native program's median whole run, in milliseconds, writing its file.
native_ms() {
    local csv
    csv=$(mktemp)
    hyperfine -N --style none --warmup 2 --runs "$runs" --export-csv "$csv" \
        "$build/midi2varn $1 $work/web-bench-out.txt" >/dev/null 2>&1
    awk -F, 'NR == 2 { printf "%.1f", $4 * 1000 }' "$csv"
    rm -f "$csv"
}

printf '%-22s %12s %12s %12s %12s %10s\n' "file" "hook first" "hook median" "page median" "native" "hook/native"
for file in "${files[@]}"; do
    name=$(basename "$file")
    native=$(native_ms "$file")
    node -e '
        const [json, name, native] = process.argv.slice(1);
        const r = JSON.parse(json).find((x) => x.name === name);
        const f = (ms) => ms.toFixed(1).padStart(12);
        console.log(name.padEnd(22) + " " + f(r.first) + " " + f(r.hook) + " " + f(r.page) + " " +
                    Number(native).toFixed(1).padStart(12) + " " + (r.hook / native).toFixed(2).padStart(9) + "x");
    ' "$json" "$name" "$native"
done
