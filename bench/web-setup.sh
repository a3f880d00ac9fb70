# Shared set-up of the page's benchmarks (sourced by web.sh, roll.sh and
# ready.sh): checks the tools named in `tools`, builds the site into
# build/web and, in Release into build/bench-release, the targets named in
# `targets`; sets root, build and work (build/bench, created).
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$root/build/bench-release
work=$root/build/bench

for tool in "${tools[@]}"; do
    command -v "$tool" >/dev/null 2>&1 || { echo "missing: $tool" >&2; exit 1; }
done
[ -d "$root/tests/web/node_modules/puppeteer-core" ] || { echo "run npm ci in tests/web first" >&2; exit 1; }

cmake --preset web >/dev/null
cmake --build --preset web --target site >/dev/null
generator=()
command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)
cmake -S "$root" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release -DMIDI2VARN_TESTS=OFF >/dev/null
cmake --build "$build" --target "${targets[@]}" >/dev/null
mkdir -p "$work"
