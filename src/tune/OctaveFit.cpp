// Whole-octave moves of a channel into the range the notation writes.
#include "tune/OctaveFit.h"

#include "core/WrappingArithmetic.h"

#include <algorithm>
#include <array>
#include <cstdint>


OctaveFit fitOctaves(std::span<const Element> elements, int transpose, bool upperC)
{
    constexpr int moves = 2 * maxOctaveShift + 1;
    // Per move, the notes it puts in range: each note is in range for a run
    // of at most four moves, found by division rather than by trying all.
    std::array<std::size_t, moves> inside{};
    std::size_t notes = 0;
    for (const Element& e : elements) {
        if (!e.isNote())
            continue;
        ++notes;
        const OctaveMoves fits = movesIntoRange(addWrap(e.pitch, transpose), upperC);
        for (int k = fits.first; k <= fits.last; ++k)
            ++inside[static_cast<std::size_t>(k + maxOctaveShift)];
    }
    const auto outside = [&](int k) { return notes - inside[static_cast<std::size_t>(k + maxOctaveShift)]; };
    OctaveFit fit{0, outside(0), outside(0)};
    // Smaller moves first, the upward before the downward: only a strictly
    // better move replaces the one found.
    for (int size = 1; size <= maxOctaveShift; ++size) {
        for (const int k : {size, -size}) {
            if (outside(k) < fit.outsideMoved) {
                fit.octaves = k;
                fit.outsideMoved = outside(k);
            }
        }
    }
    return fit;
}
