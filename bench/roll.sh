#!/usr/bin/env bash
# Benchmark of the web page's piano roll: how long it takes to draw and to
# scroll, in headless Chromium, on the generated 10k-note files.
#
#   bench/roll.sh [RUNS]         default: 20 timed redraws of each kind
#
# Builds the site (cmake --preset web, into build/web) and the generator in
# Release (build/bench-release), writes the 10k-note files of type 1 and 0
# into build/bench and prints, per file, in milliseconds: the redraw of all
# channels' rolls (drawing and rasterising) with the whole song in view and
# with about eight bars in view (median and largest), and while scrolling
# through the song in 100 steps, the redraw and the time from the scroll to
# the frame after the one that shows it (two frames at 60 Hz at best). Needs
# emscripten, node-acorn, chromium and npm ci in tests/web.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/bench-release
work=$root/build/bench
runs=${1:-20}

for tool in cmake node; do
    command -v "$tool" >/dev/null 2>&1 || { echo "missing: $tool" >&2; exit 1; }
done
[ -d "$root/tests/web/node_modules/puppeteer-core" ] || { echo "run npm ci in tests/web first" >&2; exit 1; }

cmake --preset web >/dev/null
cmake --build --preset web --target site >/dev/null
generator=()
command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)
cmake -S "$root" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release -DMIDI2VARN_TESTS=OFF >/dev/null
cmake --build "$build" --target make_bench_midi >/dev/null
mkdir -p "$work"

files=()
for type in 1 0; do
    file=$work/bench-10000-t$type.mid
    "$build/bench/make_bench_midi" 10000 "$type" "$file" >/dev/null
    files+=("$file")
done

node "$root/bench/roll.js" "$root/build/web" "$runs" "${files[@]}"
