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

runs=${1:-20}
tools=(cmake node)
targets=(make_bench_midi)
# shellcheck source=web-setup.sh
source "$(dirname "$0")/web-setup.sh"

files=()
for type in 1 0; do
    file=$work/bench-10000-t$type.mid
    "$build/bench/make_bench_midi" 10000 "$type" "$file" >/dev/null
    files+=("$file")
done

node "$root/bench/roll.js" "$root/build/web" "$runs" "${files[@]}"
